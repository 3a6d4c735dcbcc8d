// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/DetailViewController.h"

#include "engine/KeepList.h"
#include "engine/ModuleInfo.h"
#include "engine/Selection.h"
#include "format/FileUrl.h"
#include "format/Format.h"
#include "platform/UserDefaults.h"
#include "theme/UIInfo.h"
#include "theme/UIUtil.h"
#include "ui/CategoryDD.h"
#include "ui/CleanReport.h"
#include "ui/DetailDD.h"
#include "ui/ModuleActivity.h"
#include "ui/OverviewViewController.h"
#include "ui/PreferencesDialog.h"
#include "ui/ReviewCells.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QPalette>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace gui {

namespace {

constexpr int CategoryWidth = 300;

/// Tags of the sort menu: keys up to 4, directions from 5 on.
constexpr int NameTag = 1;
constexpr int SizeTag = 2;
constexpr int DateTag = 3;
constexpr int LastKeyTag = 4;
constexpr int AscendingTag = 5;
constexpr int DescendingTag = 6;

std::optional<DetailDD::SortKey> sortKeyOfTag(int tag)
{
    switch (tag) {
    case NameTag:
        return DetailDD::SortKey::Name;
    case SizeTag:
        return DetailDD::SortKey::Size;
    case DateTag:
        return DetailDD::SortKey::Date;
    default:
        return std::nullopt;
    }
}

int tagOfColumn(int column)
{
    switch (column) {
    case DetailDD::NameColumn:
        return NameTag;
    case DetailDD::SizeColumn:
        return SizeTag;
    case DetailDD::DateColumn:
        return DateTag;
    default:
        return 0;
    }
}

int columnOfTag(int tag)
{
    switch (tag) {
    case NameTag:
        return DetailDD::NameColumn;
    case SizeTag:
        return DetailDD::SizeColumn;
    case DateTag:
        return DetailDD::DateColumn;
    default:
        return -1;
    }
}

void styleTransparent(QAbstractItemView *view)
{
    view->setFrameShape(QFrame::NoFrame);
    view->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    view->viewport()->setAutoFillBackground(false);
}

} // namespace

DetailViewController::DetailViewController(QWidget *parent)
    : TabViewSwitchController(parent)
    , m_cleanReport(new CleanReport(this))
{
    setObjectName(u"DetailViewController"_s);
    connect(&ModuleActivity::instance(), &ModuleActivity::activityChanged, this, [this](int module) {
        if (module != moduleIndex() || !isViewLoaded()) {
            return;
        }
        updateBusyState();
        // The scan an "Always Keep" started has ended: the sizes are right now.
        if (!m_keptName.isEmpty() && !ModuleActivity::instance().isBusy(module)) {
            showKeepNote(u"\u201c%1\u201d will always be kept."_s.arg(m_keptName));
            m_keptName.clear();
        }
    });
}

DetailViewController::~DetailViewController() = default;

void DetailViewController::viewDidLoad()
{
    m_moduleTitle = new QLabel(this);
    m_moduleTitle->setObjectName(u"moduleTitle"_s);

    m_BackButton = new QPushButton(this);
    m_BackButton->setObjectName(u"BackButton"_s);
    m_BackButton->setAutoDefault(true);
    connect(m_BackButton, &QPushButton::clicked, this, &DetailViewController::backToView);

    m_searchField = new QLineEdit(this);
    m_searchField->setObjectName(u"searchField"_s);
    m_searchField->setPlaceholderText(u"Search"_s);
    m_searchField->setAccessibleName(u"Search files"_s);
    m_searchField->setClearButtonEnabled(true);
    m_searchField->setMaximumWidth(260);
    connect(m_searchField, &QLineEdit::textChanged, this, &DetailViewController::searchFiles);

    m_sortByButton = new QToolButton(this);
    m_sortByButton->setObjectName(u"sortByButton"_s);
    m_sortByButton->setPopupMode(QToolButton::InstantPopup);
    m_sortByButton->setToolButtonStyle(Qt::ToolButtonTextOnly);
    buildSortMenu();

    m_categoryView = new QListView(this);
    m_categoryView->setObjectName(u"categoryView"_s);
    m_categoryView->setAccessibleName(u"Categories"_s);
    m_categoryView->setSelectionMode(QAbstractItemView::SingleSelection);
    m_categoryView->setUniformItemSizes(true);
    m_categoryView->setFixedWidth(CategoryWidth);
    m_categoryView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    styleTransparent(m_categoryView);
    m_categoryCell = new CategoryCellView(m_categoryView);
    m_categoryView->setItemDelegate(m_categoryCell);

    m_detailView = new QTreeView(this);
    m_detailView->setObjectName(u"detailView"_s);
    m_detailView->setAccessibleName(u"Files"_s);
    m_detailView->setUniformRowHeights(true);
    m_detailView->setSelectionMode(QAbstractItemView::SingleSelection);
    m_detailView->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_detailView->setAllColumnsShowFocus(true);
    m_detailView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_detailView->setExpandsOnDoubleClick(true);
    styleTransparent(m_detailView);
    m_detailCell = new DetailCellView(m_detailView);
    m_detailView->setItemDelegate(m_detailCell);
    m_detailView->installEventFilter(this);
    m_detailView->viewport()->installEventFilter(this);

    m_CleanButton = new QPushButton(this);
    m_CleanButton->setObjectName(u"CleanButton"_s);
    m_CleanButton->setAutoDefault(true);
    connect(m_CleanButton, &QPushButton::clicked, this, &DetailViewController::clean);

    m_progressLabel = new QLabel(this);
    m_progressLabel->setObjectName(u"progressLabel"_s);
    m_selectionLabel = new QLabel(this);
    m_selectionLabel->setObjectName(u"selectionLabel"_s);

    m_noMatchLabel = new QLabel(u"No matches"_s, this);
    m_noMatchLabel->setObjectName(u"noMatchLabel"_s);
    m_noMatchLabel->setAlignment(Qt::AlignCenter);
    m_noMatchLabel->hide();

    m_failureLabel = new QLabel(this);
    m_failureLabel->setObjectName(u"failureLabel"_s);
    m_failureView = new QListView(this);
    m_failureView->setObjectName(u"failureView"_s);
    m_failureView->setAccessibleName(u"Items not deleted"_s);
    m_failureView->setModel(m_cleanReport);
    m_failureView->setMaximumHeight(110);
    // Reasons wrap: a reason hidden behind a horizontal scroll bar is one nobody reads.
    m_failureView->setWordWrap(true);
    m_failureView->setTextElideMode(Qt::ElideNone);
    m_failureView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_failureView->setResizeMode(QListView::Adjust);
    m_failureView->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_failureLabel->hide();
    m_failureView->hide();

    m_keepBar = new QWidget(this);
    m_keepLabel = new QLabel(m_keepBar);
    m_keepLabel->setObjectName(u"keepLabel"_s);
    m_keepLabel->setWordWrap(true);
    m_keptItemsButton = new QPushButton(u"Always-Keep List\u2026"_s, m_keepBar);
    m_keptItemsButton->setObjectName(u"keptItemsButton"_s);
    m_keptItemsButton->setAccessibleName(u"Always-Keep List"_s);
    m_keptItemsButton->setAutoDefault(true);
    connect(m_keptItemsButton, &QPushButton::clicked, this, &DetailViewController::showKeptItems);
    auto *keepRow = new QHBoxLayout(m_keepBar);
    keepRow->setContentsMargins(0, 0, 0, 0);
    keepRow->addWidget(m_keepLabel, 1);
    keepRow->addWidget(m_keptItemsButton);
    m_keepBar->hide();

    // Personal files only: the junk modules' caches and logs are always deleted.
    m_trashBox = new QCheckBox(u"Move to Trash instead of deleting"_s, this);
    m_trashBox->setObjectName(u"trashBox"_s);
    m_trashBox->setToolTip(u"Cleaned files go to the desktop Trash, where any file manager can restore them"_s);
    // On until the person says otherwise: these are their own files, and the Trash gives them back.
    m_trashBox->setChecked(UserDefaults().boolForKey(moveToTrashKey(), true));
    connect(m_trashBox, &QCheckBox::toggled, this, [](bool on) {
        UserDefaults defaults;
        defaults.setBool(moveToTrashKey(), on);
        defaults.synchronize();
    });

    // Top: back, the module's title, search and sort. Middle: categories |
    // files (and what a clean left behind). Bottom: space freed and "Clean".
    auto *top = new QHBoxLayout();
    top->setSpacing(12);
    top->addWidget(m_BackButton);
    top->addWidget(m_moduleTitle, 1);
    top->addWidget(m_searchField, 1);
    top->addWidget(m_sortByButton);

    auto *files = new QVBoxLayout();
    files->setSpacing(6);
    files->addWidget(m_noMatchLabel);
    files->addWidget(m_detailView, 1);
    files->addWidget(m_keepBar);
    files->addWidget(m_failureLabel);
    files->addWidget(m_failureView);
    auto *middle = new QHBoxLayout();
    middle->setSpacing(12);
    middle->addWidget(m_categoryView);
    middle->addLayout(files, 1);

    auto *bottom = new QHBoxLayout();
    bottom->addWidget(m_trashBox);
    bottom->addStretch(1);
    bottom->addWidget(m_progressLabel);
    bottom->addSpacing(16);
    bottom->addWidget(m_selectionLabel);
    bottom->addSpacing(12);
    bottom->addWidget(m_CleanButton);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 14, 20, 16);
    layout->setSpacing(12);
    layout->addLayout(top);
    layout->addLayout(middle, 1);
    layout->addLayout(bottom);

    setTabOrder(m_BackButton, m_searchField);
    setTabOrder(m_searchField, m_sortByButton);
    setTabOrder(m_sortByButton, m_categoryView);
    setTabOrder(m_categoryView, m_detailView);
    setTabOrder(m_detailView, m_keptItemsButton);
    setTabOrder(m_keptItemsButton, m_failureView);
    setTabOrder(m_failureView, m_trashBox);
    setTabOrder(m_trashBox, m_CleanButton);

    reloadCategory();
    reloadDetail();
    applyTheme();
    connect(UIUtil::notifier(), &ThemeNotifier::themeChanged, this, &DetailViewController::applyTheme);
    m_sortByButton->setAccessibleName(u"Sort By"_s);
    updateBusyState();
    // The first icons load the desktop's file types and icon theme: here, while
    // the screen is prepared, rather than in the first paint after a scan.
    for (const char *name : { "a.txt", "a" }) {
        const bool folder = std::string_view(name) == "a";
        core::FolderInfo sample(
            0, name, core::IconRef{}, 0, core::Rgba{}, folder, core::Timestamp{}, std::string(), false, {}, false, 0);
        DetailCellView::iconFor(sample).pixmap(DetailCellView::IconSide);
    }
}

void DetailViewController::buildSortMenu()
{
    m_sortMenu = new QMenu(this);
    m_sortMenu->setObjectName(u"sortMenu"_s);
    const std::pair<const char16_t *, int> items[] = {
        { u"Name", 1 }, { u"Size", 2 }, { u"Date", 3 }, { nullptr, 0 }, { u"Ascending", 5 }, { u"Descending", 6 }
    };
    for (const auto &[title, tag] : items) {
        if (title == nullptr) {
            m_sortMenu->addSeparator();
            continue;
        }
        QAction *item = m_sortMenu->addAction(QString::fromUtf16(title));
        item->setCheckable(true);
        item->setData(tag);
        // Ascending is marked from the start, so that the first key picked sorts at once.
        item->setChecked(tag == 5);
    }
    connect(m_sortMenu, &QMenu::triggered, this, &DetailViewController::sortFunction);
    m_sortTitle = new QAction(u"Sort By"_s, this);
    m_sortTitle->setMenu(m_sortMenu);
    m_sortByButton->setDefaultAction(m_sortTitle);
}

QAction *DetailViewController::sortAction(int tag) const
{
    for (QAction *item : m_sortMenu->actions()) {
        if (item->data().isValid() && item->data().toInt() == tag) {
            return item;
        }
    }
    return nullptr;
}

int DetailViewController::markedSortTag(bool direction) const
{
    for (QAction *item : m_sortMenu->actions()) {
        if (item->data().isValid() && item->isChecked() && (item->data().toInt() > LastKeyTag) == direction) {
            return item->data().toInt();
        }
    }
    return 0;
}

void DetailViewController::markSort(int tag)
{
    const bool direction = tag > LastKeyTag;
    for (QAction *item : m_sortMenu->actions()) {
        if (item->data().isValid() && (item->data().toInt() > LastKeyTag) == direction) {
            item->setChecked(item->data().toInt() == tag);
        }
    }
}

void DetailViewController::sortFunction(QAction *picked)
{
    if (picked == nullptr || !picked->data().isValid()) {
        return;
    }
    const int tag = picked->data().toInt();
    // Sizes start largest first: the biggest files are what a person looks for.
    if (tag == SizeTag && markedSortTag(false) != SizeTag) {
        markSort(DescendingTag);
    }
    markSort(tag);
    applySort();
}

void DetailViewController::sortByColumn(int column)
{
    const int tag = tagOfColumn(column);
    if (tag == 0) {
        return;
    }
    if (markedSortTag(false) == tag) {
        // The same column again: the other way round.
        markSort(markedSortTag(true) == AscendingTag ? DescendingTag : AscendingTag);
    } else {
        markSort(tag == SizeTag ? DescendingTag : AscendingTag);
        markSort(tag);
    }
    applySort();
}

void DetailViewController::applySort()
{
    const int keyTag = markedSortTag(false);
    const int directionTag = markedSortTag(true);
    const std::optional<DetailDD::SortKey> key = sortKeyOfTag(keyTag);
    const bool ascending = directionTag == AscendingTag;
    QString state = u"Shown in the order found"_s;
    if (key && directionTag != 0) {
        if (m_detailDD != nullptr) {
            m_detailDD->sortFiles(*key, ascending);
        }
        switch (*key) {
        case DetailDD::SortKey::Name:
            state = ascending ? u"Sorted by name, A to Z"_s : u"Sorted by name, Z to A"_s;
            break;
        case DetailDD::SortKey::Size:
            state = ascending ? u"Sorted by size, smallest first"_s : u"Sorted by size, largest first"_s;
            break;
        case DetailDD::SortKey::Date:
            state = ascending ? u"Sorted by date, oldest first"_s : u"Sorted by date, newest first"_s;
            break;
        }
    }
    m_sortByButton->setToolTip(state);
    m_sortByButton->setAccessibleDescription(state);
    if (m_detailView != nullptr) {
        m_detailView->header()->setSortIndicator(
            key && directionTag != 0 ? columnOfTag(keyTag) : -1, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
    }
}

void DetailViewController::reloadData()
{
    reloadCategory();
    reloadDetail();
}

void DetailViewController::applyTheme()
{
    const ThemeSnapshot theme;
    UIUtil::setBtnAttribute(m_BackButton, u"Back"_s, theme.entry("back_button_font"));
    UIUtil::setMenuAttribute(m_sortTitle, u"Sort By"_s, theme.entry("sortby_button_font"));
    UIUtil::setBtnAttribute(m_CleanButton, u"Clean"_s, theme.entry("clean_button_font"));
    // The category list shows where the keyboard is; the outline marks its current row instead.
    m_categoryView->setStyleSheet(u"QListView { background: transparent; outline: none; }"_s
        + UIUtil::focusRingStyle(u"QListView"_s, UIUtil::focusRingColor()));
    m_detailView->setStyleSheet(u"QTreeView { background: transparent; border: none; outline: none; }"_s);
    UIUtil::setTextAttribute(m_moduleTitle, theme.entry("module_title_font"));
    UIUtil::setTextAttribute(m_selectionLabel, theme.entry("table_path_font"));
    UIUtil::setTextAttribute(m_noMatchLabel, theme.entry("table_path_font"));
    m_progressStyle = theme.entry("cleanning_progress_font");
    UIUtil::setTextAttribute(m_progressLabel, m_progressStyle);
    m_categoryCell->reloadStyle(theme);
    m_detailCell->reloadStyle(theme);
    QPalette palette = m_detailView->palette();
    palette.setColor(QPalette::Highlight, theme.color("main_table_select_color"));
    m_detailView->setPalette(palette);
    m_categoryView->viewport()->update();
    m_detailView->viewport()->update();
}

void DetailViewController::reloadCategory()
{
    if (!isViewLoaded()) {
        return;
    }
    const auto &modules = core::ModuleInfo::modules();
    const bool known = moduleIndex() >= 0 && static_cast<std::size_t>(moduleIndex()) < modules.size();
    m_moduleTitle->setText(
        known ? QString::fromStdString(modules[static_cast<std::size_t>(moduleIndex())].title) : QString());
    const ThemeSnapshot theme;
    UIUtil::setTextAttribute(m_moduleTitle, theme.entry("module_title_font"));
    if (m_categoryDD == nullptr) {
        m_categoryDD = new CategoryDD(
            moduleIndex(),
            [this](int row) {
                onSelectCategoryRow(row);
            },
            this);
        m_categoryView->setModel(m_categoryDD);
        connect(m_categoryView->selectionModel(),
            &QItemSelectionModel::currentRowChanged,
            this,
            [this](const QModelIndex &current) {
                if (!m_selectingRow && current.isValid()) {
                    m_categoryDD->onSelectRow()(current.row());
                }
            });
        connect(m_categoryDD, &CategoryDD::categoryChecked, this, [this](int row) {
            selectCategoryRow(row);
            m_categoryRow = row;
            reloadDetail();
            updateSelectionState();
        });
    }
    m_categoryCell->reloadStyle(theme);
    m_categoryDD->setIndex(moduleIndex());
    m_categoryDD->reloadData(moduleIndex());
    fitCategoryColumn();
    // A catalogue with fewer categories than before keeps a row that exists.
    const int count = m_categoryDD->rowCount();
    if (m_categoryRow >= count) {
        m_categoryRow = count > 0 ? count - 1 : 0;
    }
    selectCategoryRow(m_categoryRow);
    updateSelectionState();
}

void DetailViewController::fitCategoryColumn()
{
    if (m_categoryDD == nullptr) {
        return;
    }
    // As wide as the titles need, within two fifths of the screen; a title cut still has its tool tip.
    const int frame = 2 * m_categoryView->frameWidth() + m_categoryView->verticalScrollBar()->sizeHint().width();
    const int needed = m_categoryCell->widthFor(*m_categoryDD) + frame;
    const int share = std::max(CategoryWidth, width() * 2 / 5);
    m_categoryView->setFixedWidth(std::clamp(needed, CategoryWidth, share));
}

void DetailViewController::resizeEvent(QResizeEvent *event)
{
    TabViewSwitchController::resizeEvent(event);
    if (isViewLoaded()) {
        fitCategoryColumn();
    }
}

void DetailViewController::selectCategoryRow(int row)
{
    const QModelIndex index = m_categoryDD->index(row, 0);
    if (!index.isValid()) {
        return;
    }
    m_selectingRow = true;
    m_categoryView->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    m_selectingRow = false;
}

void DetailViewController::reloadDetail()
{
    if (!isViewLoaded()) {
        return;
    }
    const core::Category *category = catalogueCategory(moduleIndex(), m_categoryRow);
    if (m_detailDD == nullptr) {
        m_detailDD = new DetailDD(this);
        m_detailView->setModel(m_detailDD);
        QHeaderView *header = m_detailView->header();
        header->setStretchLastSection(false);
        header->setSectionResizeMode(DetailDD::NameColumn, QHeaderView::Stretch);
        header->setSectionResizeMode(DetailDD::SizeColumn, QHeaderView::Fixed);
        header->setSectionResizeMode(DetailDD::DateColumn, QHeaderView::Fixed);
        header->resizeSection(DetailDD::SizeColumn, 84);
        header->resizeSection(DetailDD::DateColumn, 128);
        header->setSectionsClickable(true);
        header->setSortIndicatorShown(true);
        header->setSortIndicator(-1, Qt::AscendingOrder);
        connect(header, &QHeaderView::sectionClicked, this, &DetailViewController::sortByColumn);
        connect(m_detailDD, &DetailDD::checkableChanged, m_detailView->viewport(), qOverload<>(&QWidget::update));
        connect(m_detailDD, &DetailDD::recordChecked, this, [this] {
            if (m_categoryDD != nullptr) {
                m_categoryDD->setIndex(moduleIndex());
                m_categoryDD->refreshRow(m_categoryRow);
            }
            updateSelectionState();
        });
    }
    const ThemeSnapshot theme;
    m_detailCell->reloadStyle(theme);
    // The outline paints the part left of a selected row (the branch) itself, in the highlight colour.
    if (const QColor select = theme.color("main_table_select_color");
        m_detailView->palette().color(QPalette::Highlight) != select) {
        QPalette palette = m_detailView->palette();
        palette.setColor(QPalette::Highlight, select);
        m_detailView->setPalette(palette);
    }
    m_detailDD->setSelectionTarget(moduleIndex(), m_categoryRow);
    m_detailDD->setCheckable(!ModuleActivity::instance().isBusy(moduleIndex()));
    // One copy of the category's list, the model's: a big category holds hundreds of thousands.
    m_detailDD->reloadData(category != nullptr ? category->files : std::vector<core::FolderInfoPtr>());
    // The order the menu marks holds for every category and after every reload.
    applySort();
    updateNoMatch();
}

const std::vector<core::FolderInfoPtr> *DetailViewController::detailFiles() const
{
    return m_detailDD != nullptr ? &m_detailDD->files() : nullptr;
}

void DetailViewController::onSelectCategoryRow(int row)
{
    m_categoryRow = row;
    reloadDetail();
}

void DetailViewController::searchFiles(const QString &text)
{
    if (m_detailDD != nullptr) {
        m_detailDD->searchFiles(text);
        applySort();
    }
    updateNoMatch();
}

void DetailViewController::updateNoMatch()
{
    const bool empty = m_detailDD != nullptr && m_detailDD->rowCount() == 0;
    const bool none = empty && !m_detailDD->keywords().isEmpty();
    // A category that found nothing says what it could not look at, where its files would be.
    QString unmeasured;
    const auto &modules = core::ModuleInfo::modules();
    if (empty && !none && moduleIndex() >= 0 && static_cast<std::size_t>(moduleIndex()) < modules.size()) {
        const auto &categories = modules[static_cast<std::size_t>(moduleIndex())].categories;
        if (m_categoryRow >= 0 && static_cast<std::size_t>(m_categoryRow) < categories.size()) {
            for (const std::string &note : categories[static_cast<std::size_t>(m_categoryRow)].notes) {
                unmeasured +=
                    (unmeasured.isEmpty() ? u"Not measured:"_s : QString()) + u"\n"_s + QString::fromStdString(note);
            }
        }
    }
    const QString text = none ? u"No matches"_s : unmeasured;
    m_noMatchLabel->setText(text);
    m_noMatchLabel->setWordWrap(!unmeasured.isEmpty());
    m_noMatchLabel->setVisible(!text.isEmpty());
    if (!text.isEmpty()) {
        UIUtil::setTextAttribute(m_noMatchLabel, core::UIInfo::nsMyUI("table_path_font"));
    }
    m_detailView->setAccessibleDescription(text);
}

bool DetailViewController::hasRemovableSelection() const
{
    const auto &modules = core::ModuleInfo::modules();
    return moduleIndex() >= 0 && static_cast<std::size_t>(moduleIndex()) < modules.size()
        && core::summariseSelection(modules[static_cast<std::size_t>(moduleIndex())]).items > 0;
}

void DetailViewController::updateSelectionState()
{
    if (m_selectionLabel == nullptr) {
        return;
    }
    const CleanQuestion question = [this] {
        CleanQuestion q;
        const auto &modules = core::ModuleInfo::modules();
        if (moduleIndex() >= 0 && static_cast<std::size_t>(moduleIndex()) < modules.size()) {
            const core::SelectionSummary summary =
                core::summariseSelection(modules[static_cast<std::size_t>(moduleIndex())]);
            q.items = summary.items;
            q.bytes = summary.bytes;
        }
        return q;
    }();
    m_selectionLabel->setText(
        question.items == 0 ? u"Nothing selected"_s : itemsText(question.items, question.bytes) + u" selected"_s);
    UIUtil::setTextAttribute(m_selectionLabel, core::UIInfo::nsMyUI("table_path_font"));
    const bool busy = ModuleActivity::instance().isBusy(moduleIndex());
    m_CleanButton->setEnabled(!busy && question.items > 0);
    const QString why = busy  ? u"Wait until the module is no longer scanned or cleaned"_s
        : question.items == 0 ? u"Select the files to clean first"_s
                              : QString();
    m_CleanButton->setToolTip(why);
    m_CleanButton->setAccessibleDescription(why.isEmpty() ? m_selectionLabel->text() : why);
}

void DetailViewController::updateBusyState()
{
    const bool busy = ModuleActivity::instance().isBusy(moduleIndex());
    updateSelectionState();
    m_trashBox->setVisible(core::allowsTrash(moduleIndex()));
    m_trashBox->setEnabled(!busy);
    if (m_categoryDD != nullptr) {
        m_categoryDD->setCheckable(!busy);
    }
    if (m_detailDD != nullptr) {
        m_detailDD->setCheckable(!busy);
    }
}

void DetailViewController::showEvent(QShowEvent *event)
{
    TabViewSwitchController::showEvent(event);
    // "Back" leads where the person came from: the dashboard's "Review", or the overview.
    if (SlideStack *tabs = getTabViewController(); tabs != nullptr && !event->spontaneous()) {
        const auto *from = qobject_cast<TabViewSwitchController *>(tabs->widget(previousTabIndex()));
        if (from != nullptr && from != this) {
            m_backToDashboard = from->tabIdentifier() == u"dashboard"_s;
        }
    }
    // A keyboard user arriving from the overview starts in the category list.
    if (m_categoryView != nullptr && (focusWidget() == nullptr || !focusWidget()->isVisible())) {
        m_categoryView->setFocus(Qt::OtherFocusReason);
    }
}

void DetailViewController::backToView()
{
    if (m_backToDashboard) {
        switchTabTo(u"dashboard"_s);
        return;
    }
    switchToTwinTab();
}

bool DetailViewController::movesToTrash() const
{
    return core::allowsTrash(moduleIndex()) && m_trashBox != nullptr && m_trashBox->isChecked();
}

DetailViewController::CleanQuestion DetailViewController::cleanQuestion() const
{
    CleanQuestion question;
    question.toTrash = movesToTrash();
    const auto &modules = core::ModuleInfo::modules();
    if (moduleIndex() >= 0 && static_cast<std::size_t>(moduleIndex()) < modules.size()) {
        const core::SelectionSummary summary =
            core::summariseSelection(modules[static_cast<std::size_t>(moduleIndex())]);
        question.items = summary.items;
        question.bytes = summary.bytes;
    }
    if (const auto *categories = catalogueCategories(moduleIndex())) {
        for (const core::Category &category : *categories) {
            if (category.state == 0 || core::isReviewOnly(category) || category.runningApps.empty()) {
                continue;
            }
            if (const std::optional<std::string> app = core::ModuleInfo::runningApp(category)) {
                question.running.emplace_back(QString::fromStdString(category.title), QString::fromStdString(*app));
            }
        }
    }
    return question;
}

QString DetailViewController::itemsText(std::size_t items, std::int64_t bytes)
{
    const QString size = QString::fromStdString(core::format::formatByteCount(bytes));
    return items == 1 ? u"1 item, %1"_s.arg(size) : u"%1 items, %2"_s.arg(items).arg(size);
}

QString DetailViewController::confirmationText(const CleanQuestion &question)
{
    QString text = u"Are you sure to delete selected files?"_s;
    text += u"\n\n"_s + itemsText(question.items, question.bytes)
        + (question.toTrash ? u", will be moved to the Trash, where a file manager can restore them."_s
                            : u", will be deleted for good. They cannot be restored."_s);
    if (!question.running.empty()) {
        text += u"\n"_s;
    }
    for (const auto &[category, program] : question.running) {
        text += u"\n\u201c%1\u201d will be left alone: %2 is running."_s.arg(category, program);
    }
    return text;
}

bool DetailViewController::confirmClean(QWidget *parent, const CleanQuestion &question)
{
    QMessageBox alert(parent);
    alert.setWindowTitle(u"Clean"_s);
    alert.setText(u"Confirmation?"_s);
    alert.setInformativeText(confirmationText(question));
    UIUtil::setNoticeIcon(&alert, true);
    QPushButton *cancel = alert.addButton(u"Cancel"_s, QMessageBox::RejectRole);
    QPushButton *confirm = alert.addButton(u"Confirm"_s, QMessageBox::AcceptRole);
    alert.setDefaultButton(cancel);
    alert.setEscapeButton(cancel);
    alert.exec();
    return alert.clickedButton() == confirm;
}

void DetailViewController::clean()
{
    if (ModuleActivity::instance().isBusy(moduleIndex()) || !m_confirmer || !hasRemovableSelection()) {
        return;
    }
    const CleanQuestion question = cleanQuestion();
    if (!m_confirmer(this, question)) {
        return;
    }
    // A scan or clean started elsewhere while the question was open wins: nothing changes here.
    if (ModuleActivity::instance().isBusy(moduleIndex())) {
        return;
    }
    m_cleanSize = 0;
    m_trashedSize = 0;
    m_trashing = question.toTrash;
    m_progressStyle = core::UIInfo::nsMyUI("cleanning_progress_font");
    m_cleanReport->clear();
    m_cleanReport->setTrashing(m_trashing);
    m_failureView->setAccessibleName(m_trashing ? u"Items not moved to the Trash"_s : u"Items not deleted"_s);
    m_keepBar->hide();
    showFailures();
    core::ModuleInfo::CleanOptions options;
    options.moveToTrash = m_trashing;
    QPointer<DetailViewController> self(this);
    if (m_trashing) { // the label counts what was moved as it goes
        options.removed = [self](const core::FolderInfo &, const core::ModuleInfo::ItemReport &report) {
            if (self && report.trashed) {
                self->m_trashedSize += report.freed;
                self->updateProgressLabel();
            }
        };
    }
    // The report is the tally the command line prints from: what went, what
    // stayed and why, the categories left alone (a program runs, review only).
    std::shared_ptr<core::CleanTally> tally = core::CleanTally::collect(moduleIndex(), options);
    ModuleActivity::instance().clean(
        moduleIndex(),
        [self](const std::string &path, std::int64_t size) {
            if (self) {
                self->cleanProgress(path, size);
            }
        },
        [](float) {},
        [self, tally] {
            if (self) {
                self->m_lastTally = tally;
                // The tally's sums are the truth: the part of a folder removed before a failure counts too.
                self->m_cleanSize = tally->freed;
                self->m_trashedSize = tally->movedToTrash;
                self->m_cleanReport->setFrom(*tally);
                self->doneClean();
            }
        },
        std::move(options));
}

void DetailViewController::cleanProgress(const std::string &path, std::int64_t size)
{
    Q_UNUSED(path)
    m_cleanSize += size;
    updateProgressLabel();
}

void DetailViewController::doneClean()
{
    updateProgressLabel();
    reloadCategory();
    reloadDetail();
    showFailures();
}

void DetailViewController::updateProgressLabel()
{
    if (m_progressLabel == nullptr) {
        return;
    }
    m_progressLabel->setText(m_trashing
            ? QString::fromStdString(core::format::formatByteCount(m_trashedSize)) + u" Moved to Trash"_s
            : QString::fromStdString(core::format::formatByteCount(m_cleanSize)) + u" Free Up"_s);
    UIUtil::setTextAttribute(m_progressLabel, m_progressStyle);
}

void DetailViewController::addFailure(const std::string &path, const std::string &reason)
{
    m_cleanReport->add(CleanReport::Failure{ QString::fromUtf8(path.data(), static_cast<qsizetype>(path.size())),
        QString::fromUtf8(reason.data(), static_cast<qsizetype>(reason.size())) });
}

void DetailViewController::showFailures()
{
    const QString summary = m_cleanReport->summary();
    m_failureLabel->setText(summary);
    m_failureLabel->setVisible(!summary.isEmpty());
    m_failureView->setVisible(!summary.isEmpty());
}

void DetailViewController::openContainingFolder(const core::FolderInfo &record) const
{
    QString path = DetailDD::displayPath(record);
    while (path.size() > 1 && path.endsWith(u'/')) {
        path.chop(1);
    }
    if (m_opener) {
        m_opener(QUrl::fromLocalFile(QFileInfo(path).absolutePath()));
    }
}

void DetailViewController::copyPath(const core::FolderInfo &record)
{
    QGuiApplication::clipboard()->setText(DetailDD::displayPath(record));
}

void DetailViewController::alwaysKeep(const core::FolderInfo &record)
{
    const std::optional<std::string> path = core::format::pathFromFileUrl(record.url());
    const QString name = QString::fromUtf8(record.name().data(), static_cast<qsizetype>(record.name().size()));
    if (!path) {
        showKeepNote(u"\u201c%1\u201d is not a local file and cannot be kept."_s.arg(name));
        return;
    }
    const core::Result<std::vector<std::string>> added = core::KeepList::add({ *path });
    if (!added) {
        const core::Error &error = added.error();
        showKeepNote(u"\u201c%1\u201d could not be kept: %2 (%3)."_s.arg(name,
            QString::fromUtf8(error.path.data(), static_cast<qsizetype>(error.path.size())),
            QString::fromStdString(error.message)));
        return;
    }
    if (ModuleActivity::instance().isBusy(moduleIndex())) {
        showKeepNote(u"\u201c%1\u201d will always be kept; scan again to see the sizes without it."_s.arg(name));
        return;
    }
    // Scanned again so that every size leaves it out (a kept child makes its
    // file smaller). Through the overview, whose figures change too; it
    // reloads this screen when the scan is done.
    m_keptName = name;
    showKeepNote(u"\u201c%1\u201d will always be kept. Scanning again\u2026"_s.arg(name));
    SlideStack *tabs = getTabViewController();
    auto *overview = tabs != nullptr
        ? qobject_cast<OverviewViewController *>(tabs->widget(getTabWithIndentifier(getTwinTabIdentifier())))
        : nullptr;
    if (overview != nullptr) {
        overview->loadViewIfNeeded();
        overview->rescanDetail();
    } else {
        QPointer<DetailViewController> self(this);
        ModuleActivity::instance().scan(moduleIndex(), nullptr, nullptr, [self] {
            if (self) {
                self->reloadData();
            }
        });
    }
}

void DetailViewController::showKeptItems()
{
    PreferencesDialog::showFor(this);
}

void DetailViewController::showKeepNote(const QString &text)
{
    m_keepLabel->setText(text);
    m_keepBar->show();
}

QMenu *DetailViewController::contextMenuFor(const QModelIndex &index)
{
    // The menu may outlive the row (a clean ends meanwhile): it keeps the record itself.
    const core::FolderInfoPtr record = m_detailDD != nullptr ? m_detailDD->recordPtr(index) : nullptr;
    if (!record) {
        return nullptr;
    }
    auto *menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->setAccessibleName(QString::fromUtf8(record->name().data(), static_cast<qsizetype>(record->name().size())));
    connect(menu->addAction(u"Open Containing Folder"_s), &QAction::triggered, this, [this, record] {
        openContainingFolder(*record);
    });
    connect(menu->addAction(u"Copy Path"_s), &QAction::triggered, this, [record] {
        copyPath(*record);
    });
    QAction *keep = menu->addAction(u"Always Keep"_s);
    keep->setEnabled(!ModuleActivity::instance().isBusy(moduleIndex()));
    keep->setToolTip(u"Never collect or clean this item again"_s);
    connect(keep, &QAction::triggered, this, [this, record] {
        alwaysKeep(*record);
    });
    return menu;
}

bool DetailViewController::eventFilter(QObject *watched, QEvent *event)
{
    if (m_detailView == nullptr || (watched != m_detailView && watched != m_detailView->viewport())) {
        return TabViewSwitchController::eventFilter(watched, event);
    }
    const QModelIndex current = m_detailView->currentIndex();
    const QPoint atCurrent = m_detailView->viewport()->mapToGlobal(m_detailView->visualRect(current).center());
    if (event->type() == QEvent::ContextMenu) {
        auto *menuEvent = static_cast<QContextMenuEvent *>(event);
        const bool keyboard = menuEvent->reason() == QContextMenuEvent::Keyboard;
        const QModelIndex index =
            keyboard ? current : m_detailView->indexAt(m_detailView->viewport()->mapFromGlobal(menuEvent->globalPos()));
        if (QMenu *menu = contextMenuFor(index)) {
            menu->popup(keyboard ? atCurrent : menuEvent->globalPos());
        }
        return true;
    }
    // Shift+F10 opens the row's menu too: not every keyboard has a Menu key.
    if (event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier) {
            if (QMenu *menu = contextMenuFor(current)) {
                menu->popup(atCurrent);
            }
            return true;
        }
    }
    return TabViewSwitchController::eventFilter(watched, event);
}

} // namespace gui
