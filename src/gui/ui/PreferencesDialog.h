// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/KeepList.h"

#include <QDialog>
#include <QStringList>

#include <functional>
#include <string>
#include <vector>

class QLabel;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace gui {

/// The preferences page: the user's always-keep list (core::KeepList), one
/// row per kept path in the order they were added, a path where nothing is
/// any more marked "(no longer exists)", and "Remove" for the selected rows
/// (Delete does the same in the list). The list is read afresh each time
/// the page is shown and after each change; an unreadable list or a failed
/// change is said on the page, and nothing is written then. Lines of the
/// file that cannot be used (written by hand: a relative path, a malformed
/// URL) are listed under the paths with the reason and the file's path, as
/// no clean deletes anything until they are mended.
///
/// Kept paths are bytes: each row holds its path as the list file gives it,
/// so a name that is not UTF-8 is removed exactly (its text shows the
/// replacement character). A path taken off the list is found again by the
/// next scan. GUI thread.
class PreferencesDialog : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PreferencesDialog)

public:
    explicit PreferencesDialog(QWidget *parent = nullptr);
    ~PreferencesDialog() override;

    /// The one preferences page of `parent`'s window, made on first use,
    /// read again, shown and raised.
    static PreferencesDialog *showFor(QWidget *parent);

    /// Reads the list again and shows it, keeping the rows selected that still exist.
    void reload();
    /// Takes the selected paths off the list.
    void removeSelected();
    /// Puts `paths` on the list (as core::KeepList::add checks them), reads it
    /// again, selects them and says what went wrong if anything did.
    void addPaths(const QStringList &paths);
    /// "Add Files…" / "Add Folder…": asks the chooser, then addPaths.
    void addChosen(bool folder);

    /// Asks the person for files (`folder` false) or a folder to keep; empty when cancelled.
    using Chooser = std::function<QStringList(QWidget *parent, bool folder)>;
    void setChooser(Chooser chooser) { m_chooser = std::move(chooser); }

    /// The kept path a row stands for, byte for byte.
    static std::string pathOf(const QListWidgetItem *item);

    QListWidget *keptList() const { return m_keptList; }
    QPushButton *removeButton() const { return m_removeButton; }
    /// "Add…", with its menu of "Add Files…" and "Add Folder…".
    QPushButton *addButton() const { return m_addButton; }
    /// What went wrong reading or changing the list; hidden when nothing did.
    QLabel *messageLabel() const { return m_message; }
    /// The lines of the file that cannot be used; hidden when there are none.
    QLabel *unusableLabel() const { return m_unusable; }

Q_SIGNALS:
    /// Paths were taken off the list or put on it.
    void keepListChanged();

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showMessage(const QString &text);
    void showUnusable(const std::vector<core::KeepList::Unusable> &unusable);
    void updateButtons();

    QListWidget *m_keptList; // owned (children)
    QLabel *m_empty;
    QLabel *m_message;
    QLabel *m_unusable;
    QPushButton *m_removeButton;
    QPushButton *m_addButton;
    Chooser m_chooser;
};

} // namespace gui
