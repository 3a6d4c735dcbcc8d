// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/PreferencesDialog.h"

#include "engine/KeepList.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSet>
#include <QVBoxLayout>

#include <algorithm>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace gui {

namespace {

constexpr int PathRole = Qt::UserRole + 1; // QByteArray: the kept path's bytes

bool exists(const std::string &path)
{
    struct stat st
    {
    };
    return ::lstat(path.c_str(), &st) == 0;
}

QString errorText(const QString &what, const core::Error &error)
{
    const QString path = QString::fromUtf8(error.path.data(), static_cast<qsizetype>(error.path.size()));
    return what + u" ("_s + (path.isEmpty() ? QString() : path + u": "_s) + QString::fromStdString(error.message)
        + u")."_s;
}

} // namespace

PreferencesDialog::PreferencesDialog(QWidget *parent)
    : QDialog(parent)
    , m_keptList(new QListWidget(this))
    , m_empty(new QLabel(u"Nothing is kept."_s, this))
    , m_message(new QLabel(this))
    , m_unusable(new QLabel(this))
    , m_removeButton(new QPushButton(u"Remove"_s, this))
    , m_addButton(new QPushButton(u"Add\u2026"_s, this))
    , m_chooser([](QWidget *owner, bool folder) {
        if (folder) {
            const QString chosen =
                QFileDialog::getExistingDirectory(owner, u"Always Keep a Folder"_s, QDir::homePath());
            return chosen.isEmpty() ? QStringList() : QStringList{ chosen };
        }
        return QFileDialog::getOpenFileNames(owner, u"Always Keep Files"_s, QDir::homePath());
    })
{
    setObjectName(u"PreferencesDialog"_s);
    setWindowTitle(u"Preferences"_s);

    auto *heading = new QLabel(u"Always Keep"_s, this);
    QFont bold = heading->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.15);
    heading->setFont(bold);
    auto *about =
        new QLabel(u"Spruce never collects or cleans these files and folders, nor anything inside them. "
                   u"Add one with \u201cAdd\u2026\u201d or with \u201cAlways Keep\u201d in a file\u2019s menu "
                   u"on a detail screen. "
                   u"A path taken off the list is found again by the next scan."_s,
            this);
    about->setWordWrap(true);

    m_keptList->setObjectName(u"keptList"_s);
    m_keptList->setAccessibleName(u"Kept files and folders"_s);
    m_keptList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_keptList->setTextElideMode(Qt::ElideMiddle);
    m_keptList->setUniformItemSizes(true);
    m_keptList->installEventFilter(this);
    heading->setBuddy(m_keptList);
    connect(m_keptList, &QListWidget::itemSelectionChanged, this, &PreferencesDialog::updateButtons);

    m_empty->setObjectName(u"emptyLabel"_s);
    m_empty->setEnabled(false);
    m_message->setObjectName(u"messageLabel"_s);
    m_message->setWordWrap(true);
    m_message->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_message->hide();
    m_unusable->setObjectName(u"unusableLabel"_s);
    m_unusable->setWordWrap(true);
    m_unusable->setTextFormat(Qt::PlainText);
    m_unusable->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_unusable->hide();

    m_removeButton->setObjectName(u"removeButton"_s);
    m_removeButton->setAutoDefault(true); // Return presses it when it has the focus
    m_removeButton->setToolTip(u"Take the selected paths off the list (Delete)"_s);
    connect(m_removeButton, &QPushButton::clicked, this, &PreferencesDialog::removeSelected);
    m_addButton->setObjectName(u"addButton"_s);
    m_addButton->setAccessibleName(u"Add"_s);
    m_addButton->setAccessibleDescription(u"Choose files or a folder to always keep"_s);
    m_addButton->setAutoDefault(true);
    auto *addMenu = new QMenu(m_addButton);
    connect(addMenu->addAction(u"Add Files\u2026"_s), &QAction::triggered, this, [this] {
        addChosen(false);
    });
    connect(addMenu->addAction(u"Add Folder\u2026"_s), &QAction::triggered, this, [this] {
        addChosen(true);
    });
    m_addButton->setMenu(addMenu);
    auto *close = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(close, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *buttons = new QHBoxLayout();
    buttons->addWidget(m_addButton);
    buttons->addWidget(m_removeButton);
    buttons->addStretch(1);
    buttons->addWidget(close);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 16, 18, 14);
    layout->setSpacing(8);
    layout->addWidget(heading);
    layout->addWidget(about);
    layout->addWidget(m_keptList, 1);
    layout->addWidget(m_empty);
    layout->addWidget(m_unusable);
    layout->addWidget(m_message);
    layout->addLayout(buttons);
    resize(560, 380);
    updateButtons();
}

PreferencesDialog::~PreferencesDialog() = default;

PreferencesDialog *PreferencesDialog::showFor(QWidget *parent)
{
    QWidget *window = parent != nullptr ? parent->window() : nullptr;
    auto *page =
        window != nullptr ? window->findChild<PreferencesDialog *>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
    if (page == nullptr) {
        page = new PreferencesDialog(window);
    }
    if (page->isVisible()) {
        page->reload(); // showing it reads the list otherwise
    }
    page->show();
    page->raise();
    page->activateWindow();
    return page;
}

void PreferencesDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    reload();
    m_keptList->setFocus(Qt::OtherFocusReason);
}

std::string PreferencesDialog::pathOf(const QListWidgetItem *item)
{
    const QByteArray bytes = item != nullptr ? item->data(PathRole).toByteArray() : QByteArray();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

void PreferencesDialog::reload()
{
    QSet<QByteArray> selected;
    for (const QListWidgetItem *item : m_keptList->selectedItems()) {
        selected.insert(item->data(PathRole).toByteArray());
    }
    const int current = m_keptList->currentRow();
    m_keptList->clear();
    const core::Result<core::KeepList::Contents> kept = core::KeepList::load();
    m_unusable->hide();
    if (!kept) {
        showMessage(errorText(u"The always-keep list cannot be read"_s, kept.error()));
        m_empty->hide();
        updateButtons();
        return;
    }
    showMessage(QString());
    showUnusable(kept.value().unusable);
    for (const std::string &path : kept.value().paths) {
        const QByteArray bytes(path.data(), static_cast<qsizetype>(path.size()));
        const QString shown = QString::fromUtf8(bytes);
        auto *item = new QListWidgetItem(m_keptList);
        item->setData(PathRole, bytes);
        item->setToolTip(shown);
        if (exists(path)) {
            item->setText(shown);
        } else {
            // Listed still, matching nothing until something is there again.
            item->setText(shown + u"  (no longer exists)"_s);
            item->setForeground(m_keptList->palette().brush(QPalette::Disabled, QPalette::Text));
        }
        item->setSelected(selected.contains(bytes));
    }
    if (m_keptList->count() > 0) {
        // With nothing selected the current row is, so that Delete and Remove act on what the keyboard is on.
        m_keptList->setCurrentRow(std::clamp(current, 0, m_keptList->count() - 1),
            m_keptList->selectedItems().isEmpty() ? QItemSelectionModel::ClearAndSelect
                                                  : QItemSelectionModel::NoUpdate);
    }
    m_empty->setVisible(m_keptList->count() == 0);
    updateButtons();
}

void PreferencesDialog::removeSelected()
{
    std::vector<std::string> paths;
    for (const QListWidgetItem *item : m_keptList->selectedItems()) {
        paths.push_back(pathOf(item));
    }
    if (paths.empty()) {
        return;
    }
    const int current = m_keptList->currentRow();
    const core::Result<std::vector<std::string>> removed = core::KeepList::remove(paths);
    if (!removed) {
        showMessage(errorText(u"The always-keep list could not be changed"_s, removed.error()));
        return;
    }
    m_keptList->clearSelection();
    reload();
    // The keyboard stays in the list, on the row that took the removed one's place.
    if (m_keptList->count() > 0) {
        m_keptList->setCurrentRow(std::min(current, m_keptList->count() - 1));
    }
    m_keptList->setFocus(Qt::OtherFocusReason);
    Q_EMIT keepListChanged();
}

void PreferencesDialog::addChosen(bool folder)
{
    const QStringList chosen = m_chooser ? m_chooser(this, folder) : QStringList();
    if (!chosen.isEmpty()) {
        addPaths(chosen);
    }
}

void PreferencesDialog::addPaths(const QStringList &paths)
{
    std::vector<std::string> bytes;
    for (const QString &path : paths) {
        // The file system's own bytes: a name that is not UTF-8 is kept as it is.
        const QByteArray encoded = QFile::encodeName(path);
        bytes.emplace_back(encoded.constData(), static_cast<std::size_t>(encoded.size()));
    }
    const core::Result<std::vector<std::string>> added = core::KeepList::add(bytes);
    if (!added) {
        showMessage(errorText(u"The always-keep list could not be changed"_s, added.error()));
        return;
    }
    reload();
    m_keptList->clearSelection(); // the new paths are what is selected
    for (int row = 0; row < m_keptList->count(); ++row) {
        QListWidgetItem *item = m_keptList->item(row);
        for (const std::string &path : bytes) {
            if (pathOf(item) == path) {
                item->setSelected(true);
                m_keptList->setCurrentItem(item, QItemSelectionModel::NoUpdate);
            }
        }
    }
    Q_EMIT keepListChanged();
}

void PreferencesDialog::showUnusable(const std::vector<core::KeepList::Unusable> &unusable)
{
    if (unusable.empty()) {
        m_unusable->hide();
        return;
    }
    const std::string file = core::KeepList::filePath();
    const QString where = QString::fromUtf8(file.data(), static_cast<qsizetype>(file.size()));
    QString text = unusable.size() == 1
        ? u"A line of %1 cannot be used, so no clean deletes anything until it is corrected or taken out:"_s.arg(where)
        : u"%1 lines of %2 cannot be used, so no clean deletes anything until they are corrected or taken out:"_s.arg(
            QString::number(unusable.size()), where);
    for (const core::KeepList::Unusable &line : unusable) {
        const std::string said = line.describe();
        text += u"\n"_s + QString::fromUtf8(said.data(), static_cast<qsizetype>(said.size()));
    }
    m_unusable->setText(text);
    m_unusable->show();
}

void PreferencesDialog::showMessage(const QString &text)
{
    m_message->setText(text);
    m_message->setVisible(!text.isEmpty());
}

void PreferencesDialog::updateButtons()
{
    m_removeButton->setEnabled(!m_keptList->selectedItems().isEmpty());
}

bool PreferencesDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_keptList && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Delete || key == Qt::Key_Backspace) {
            removeSelected();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace gui
