// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

namespace gui {

/// Keeps one running Spruce per user and session: a later launch asks the
/// running one to come forward (the "re-open" of a desktop that has a
/// dock) and then ends.
///
/// The rendezvous is a local socket named after the user id and the
/// display. tryHandOver() is called first: true means a running instance
/// got the request and this process should exit. Otherwise listen() makes
/// this process the one that answers later launches (a stale socket left
/// by a crash is removed first). GUI thread.
class SingleInstance : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SingleInstance)

public:
    explicit SingleInstance(QString name = defaultName(), QObject *parent = nullptr);
    ~SingleInstance() override;

    /// Asks a running instance to re-open; true when one answered.
    bool tryHandOver();

    /// Starts answering later launches; false when the socket cannot be made.
    bool listen();

    static QString defaultName();

Q_SIGNALS:
    /// A later launch asked this instance to come forward.
    void reopenRequested();

private:
    QString m_name;
    QLocalServer *m_server = nullptr; // owned (child)
};

} // namespace gui
