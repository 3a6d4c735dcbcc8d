// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/SingleInstance.h"

#include <QLocalServer>
#include <QLocalSocket>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace gui {

namespace {

constexpr int HandOverTimeoutMs = 500;
const QByteArray ReopenMessage = QByteArrayLiteral("reopen\n");

} // namespace

SingleInstance::SingleInstance(QString name, QObject *parent)
    : QObject(parent)
    , m_name(std::move(name))
{
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::defaultName()
{
    QString display = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (display.isEmpty()) {
        display = qEnvironmentVariable("DISPLAY");
    }
    display.replace(u'/', u'_').replace(u':', u'_');
    return u"spruce-%1-%2"_s.arg(::getuid()).arg(display);
}

bool SingleInstance::tryHandOver()
{
    QLocalSocket socket;
    socket.connectToServer(m_name);
    if (!socket.waitForConnected(HandOverTimeoutMs)) {
        return false;
    }
    socket.write(ReopenMessage);
    if (!socket.waitForBytesWritten(HandOverTimeoutMs)) {
        return false;
    }
    // Wait for the answer so that a server that dies right now is not taken for a live one.
    return socket.waitForReadyRead(HandOverTimeoutMs) && socket.readAll().startsWith("ok");
}

bool SingleInstance::listen()
{
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_name)) {
        // Nobody answered tryHandOver(), so a socket file left here is stale.
        QLocalServer::removeServer(m_name);
        if (!m_server->listen(m_name)) {
            return false;
        }
    }
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *client = m_server->nextPendingConnection()) {
            connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
            connect(client, &QLocalSocket::readyRead, this, [this, client] {
                if (client->readAll().startsWith("reopen")) {
                    client->write("ok\n");
                    client->flush();
                    Q_EMIT reopenRequested();
                }
            });
        }
    });
    return true;
}

} // namespace gui
