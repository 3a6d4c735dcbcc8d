// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

class QToolButton;

namespace gui {

class LinkOpener;

/// The main window's toolbar: a help button (settings link "help_link") and
/// a community button (settings link "facebook_link"). GUI thread.
class ToolBarViewController : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ToolBarViewController)

public:
    /// `links` opens the links; not owned, must outlive the toolbar.
    explicit ToolBarViewController(const LinkOpener *links, QWidget *parent = nullptr);
    ~ToolBarViewController() override;

    QToolButton *helpBTN() const { return m_helpBTN; } // NOLINT(readability-identifier-naming)
    QToolButton *facebookBTN() const { return m_facebookBTN; } // NOLINT(readability-identifier-naming)

public Q_SLOTS:
    void helpAction();
    void facebookAction();

private:
    const LinkOpener *m_links; // not owned
    QToolButton *m_helpBTN; // owned (child)
    QToolButton *m_facebookBTN; // owned (child)
};

} // namespace gui
