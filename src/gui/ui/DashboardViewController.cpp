// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/DashboardViewController.h"

#include "engine/ModuleInfo.h"
#include "format/Format.h"
#include "format/Plist.h"
#include "monitor/MonitorPanel.h"
#include "monitor/MonitorTimers.h"
#include "platform/ImageStore.h"
#include "platform/Services.h"
#include "theme/UIInfo.h"
#include "theme/UIUtil.h"
#include "ui/FoundSummary.h"
#include "ui/ModuleActivity.h"
#include "ui/OverviewViewController.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace gui {

namespace {

constexpr int PathLimit = 40; // UTF-16 units shown of a scanned path
constexpr int ResultImageSide = 40;

struct ModuleScreen
{
    int module;
    const char *overview;
    const char *detail;
};

constexpr ModuleScreen ModuleScreens[] = {
    { 1, "systemJunkOverview", "systemJunkDetail" },
    { 2, "applicationJunkOverview", "applicationJunkDetail" },
    { 3, "largeAndOldFileOverview", "largeAndOldFileDetail" },
};

QString moduleTitle(int mi)
{
    const auto &modules = core::ModuleInfo::modules();
    return mi >= 0 && static_cast<std::size_t>(mi) < modules.size()
        ? QString::fromStdString(modules[static_cast<std::size_t>(mi)].title)
        : QString();
}

} // namespace

DashboardViewController::DashboardViewController(QWidget *parent)
    : TabViewSwitchController(parent)
{
    setObjectName(u"DashboardViewController"_s);
    connect(&ModuleActivity::instance(), &ModuleActivity::activityChanged, this, [this] {
        if (isViewLoaded()) {
            updateScanButton();
        }
    });
}

bool DashboardViewController::anyModuleBusy()
{
    for (const ModuleScreen &screen : ModuleScreens) {
        if (ModuleActivity::instance().isBusy(screen.module)) {
            return true;
        }
    }
    return false;
}

void DashboardViewController::updateScanButton()
{
    const bool othersBusy = !m_scanning && anyModuleBusy();
    m_scanBTN->setEnabled(!m_scanning && !othersBusy);
    m_scanBTN->setToolTip(
        othersBusy ? u"A module is being scanned or cleaned; Scan is available when it is done"_s : QString());
}

DashboardViewController::~DashboardViewController() = default;

QString DashboardViewController::shortenedPath(const QString &path)
{
    if (path.size() <= PathLimit) {
        return path;
    }
    // Never keep half of a surrogate pair: it would show as a broken character.
    const qsizetype keep = path.at(PathLimit - 1).isHighSurrogate() ? PathLimit - 1 : PathLimit;
    return path.left(keep) + u"..."_s;
}

ModelTexts DashboardViewController::getModelData()
{
    const auto file = core::platform::services().resources.path("SIMachineAttributes", "plist");
    // A model name per machine: a few hundred nodes.
    constexpr std::size_t TableNodes = std::size_t{ 1 } << 14U;
    const std::optional<core::format::PlistValue> table =
        file ? core::format::readPlistFile(*file, TableNodes) : std::optional<core::format::PlistValue>();
    return describeMachine(table ? &*table : nullptr, MachineFacts::read());
}

QWidget *DashboardViewController::makeResult(
    int mi, QLabel *&image, QPushButton *&review, void (DashboardViewController::*action)())
{
    auto *box = new QWidget(this);
    image = new QLabel(box);
    image->setFixedSize(ResultImageSide, ResultImageSide);
    image->setAlignment(Qt::AlignCenter);
    review = new QPushButton(box);
    review->setCursor(Qt::PointingHandCursor);
    review->setAutoDefault(true); // Return and Enter press it when it has the focus
    // Three buttons read "Review": say which module each one reviews.
    const QString title = moduleTitle(mi);
    review->setAccessibleName(u"Review "_s + title);
    review->setToolTip(u"Review "_s + title);
    image->setAccessibleName(title + u" scanned"_s);
    connect(review, &QPushButton::clicked, this, action);
    auto *layout = new QHBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    layout->addWidget(image);
    layout->addWidget(review);
    return box;
}

void DashboardViewController::viewDidLoad()
{
    m_macInfo = new QLabel(this);
    m_macInfo->setObjectName(u"macInfo"_s);
    m_macDesc = new QLabel(this);
    m_macDesc->setObjectName(u"macDesc"_s);
    m_macDesc->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_pathLabel = new QLabel(this);
    m_pathLabel->setObjectName(u"pathLabel"_s);
    m_pathLabel->setMinimumWidth(200);
    m_scanBTN = new QPushButton(this);
    m_scanBTN->setObjectName(u"scanBTN"_s);
    m_scanBTN->setMinimumWidth(150);
    m_scanBTN->setCursor(Qt::PointingHandCursor);
    m_scanBTN->setAutoDefault(true); // Return and Enter press it when it has the focus
    connect(m_scanBTN, &QPushButton::clicked, this, &DashboardViewController::scanAll);
    m_monitors = new MonitorPanel(this);

    auto *titles = new QVBoxLayout();
    titles->setSpacing(2);
    titles->addWidget(m_macInfo);
    titles->addWidget(m_macDesc);
    auto *header = new QHBoxLayout();
    header->addLayout(titles, 1);
    header->addWidget(m_scanBTN, 0, Qt::AlignVCenter);

    // The path (and then what was found) on a line of its own, wrapped: the
    // completion line is a sentence, and the Review buttons need their width.
    m_pathLabel->setWordWrap(true);
    auto *results = new QHBoxLayout();
    results->setSpacing(18);
    results->addStretch(1);
    results->addWidget(makeResult(1, m_junkImage, m_junkReview, &DashboardViewController::reviewJunk));
    results->addWidget(makeResult(2, m_unnessaryImage, m_unnessaryReview, &DashboardViewController::reviewUnnessary));
    results->addWidget(makeResult(3, m_largeFileImage, m_largeFileRiview, &DashboardViewController::reviewLargeFile));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(28, 16, 28, 14);
    layout->setSpacing(12);
    layout->addLayout(header);
    layout->addWidget(m_monitors);
    layout->addWidget(m_pathLabel);
    layout->addLayout(results);
    layout->addStretch(1);

    const ModelTexts texts = getModelData();
    m_macInfo->setText(texts.model);
    m_macDesc->setText(texts.description);
    m_scanBTN->setText(u"Scan"_s);
    for (QPushButton *button : { m_junkReview, m_unnessaryReview, m_largeFileRiview }) {
        button->setText(u"Review"_s);
    }
    applyTheme();
    connect(UIUtil::notifier(), &ThemeNotifier::themeChanged, this, &DashboardViewController::applyTheme);
    hideAllImage();
    updateScanButton();
}

void DashboardViewController::applyTheme()
{
    UIUtil::setTextAttribute(m_macInfo, core::UIInfo::nsMyUI("dashboard_macInfo_font"));
    UIUtil::setTextAttribute(m_macDesc, core::UIInfo::nsMyUI("dashboard_macDesc_font"));
    UIUtil::setTextAttribute(m_pathLabel, core::UIInfo::nsMyUI("scanning_path_font"));
    UIUtil::setBtnAttribute(m_scanBTN, m_scanBTN->text(), core::UIInfo::nsMyUI("scan_button_font"));
    const core::MyUI review = core::UIInfo::nsMyUI("review_button_font");
    for (QPushButton *button : { m_junkReview, m_unnessaryReview, m_largeFileRiview }) {
        UIUtil::setBtnAttribute(button, button->text(), review);
    }
}

void DashboardViewController::hideAllImage()
{
    for (QWidget *widget : { static_cast<QWidget *>(m_junkImage),
             static_cast<QWidget *>(m_junkReview),
             static_cast<QWidget *>(m_unnessaryImage),
             static_cast<QWidget *>(m_unnessaryReview),
             static_cast<QWidget *>(m_largeFileImage),
             static_cast<QWidget *>(m_largeFileRiview) }) {
        if (widget != nullptr) {
            widget->hide();
        }
    }
}

void DashboardViewController::startTimer(const QString &tag)
{
    if (m_monitors != nullptr) {
        m_monitors->timers()->redrawTagged(tag);
    }
}

void DashboardViewController::scanAll()
{
    loadViewIfNeeded();
    // The three modules are scanned together or not at all: one that is
    // being scanned or cleaned from its own screens is left to finish.
    if (m_scanning || anyModuleBusy()) {
        return;
    }
    hideAllImage();
    m_doneModuleNumber = 0;
    m_totalScanSize = 0;
    // A keyboard user who pressed Scan is taken to the first Review when it is done.
    m_focusAfterScan = m_scanBTN->hasFocus();
    UIUtil::setBtnAttribute(m_scanBTN, u"Scanning"_s, core::UIInfo::nsMyUI("scan_button_font"));
    m_scanning = true;
    updateScanButton();
    // The three scans run side by side; their callbacks come on the main queue.
    const QPointer<DashboardViewController> self(this);
    for (const ModuleScreen &screen : ModuleScreens) {
        const int mi = screen.module;
        ModuleActivity::instance().scan(
            mi,
            [self](const std::string &path, std::int64_t size) {
                if (self != nullptr) {
                    self->progress(path, size);
                }
            },
            [self](float percent) {
                if (self != nullptr) {
                    self->showPercent(percent);
                }
            },
            [self, mi] {
                if (self != nullptr) {
                    self->doneScan(mi);
                }
            });
    }
}

void DashboardViewController::progress(const std::string &path, std::int64_t size)
{
    // An empty path stands for a batch of deeper items, not a path to show.
    if (!path.empty() && m_pathLabel != nullptr) {
        m_pathLabel->setText(shortenedPath(QString::fromStdString(path)));
        UIUtil::setTextAttribute(m_pathLabel, core::UIInfo::nsMyUI("scanning_path_font"));
    }
    m_totalScanSize += size;
}

void DashboardViewController::showPercent(float percent)
{
    Q_UNUSED(percent)
}

void DashboardViewController::doneScan(int mi)
{
    ++m_doneModuleNumber;
    showModule(mi);
    if (m_doneModuleNumber == 3 && m_pathLabel != nullptr) {
        m_scanning = false;
        // What was found, each file once, and how much of it is junk.
        const FoundSummary found = FoundSummary::of(core::ModuleInfo::modules(), { 1, 2, 3 });
        m_totalScanSize = found.total();
        m_pathLabel->setText(u"Scanning Completed! "_s
            + QString::fromStdString(core::format::formatByteCount(m_totalScanSize)) + u" File Found: "_s
            + found.sentence());
        UIUtil::setTextAttribute(m_pathLabel, core::UIInfo::nsMyUI("scanning_path_font"));
        UIUtil::setBtnAttribute(m_scanBTN, u"Re-Scan"_s, core::UIInfo::nsMyUI("scan_button_font"));
        updateScanButton();
        if (m_focusAfterScan && m_junkReview != nullptr) {
            m_junkReview->setFocus(Qt::OtherFocusReason);
        }
        m_focusAfterScan = false;
    }
}

DashboardViewController::ModuleResult DashboardViewController::resultOf(int mi) const
{
    switch (mi) {
    case 1:
        return { m_junkImage, m_junkReview };
    case 2:
        return { m_unnessaryImage, m_unnessaryReview };
    case 3:
        return { m_largeFileImage, m_largeFileRiview };
    default:
        return {};
    }
}

void DashboardViewController::showModule(int mi)
{
    const ModuleResult result = resultOf(mi);
    if (result.image == nullptr) {
        return;
    }
    const auto &modules = core::ModuleInfo::modules();
    const QString image = QString::fromStdString(modules.at(static_cast<std::size_t>(mi)).image) + u"_Review"_s;
    result.image->setPixmap(ImageStore::pixmap(image, QSize(ResultImageSide, ResultImageSide)));
    // The size on the button: what there is to review before going there.
    const QString size = QString::fromStdString(core::format::formatByteCount(FoundSummary::sizeOf(modules, mi)));
    UIUtil::setBtnAttribute(result.review, u"Review "_s + size, core::UIInfo::nsMyUI("review_button_font"));
    result.review->setAccessibleName(u"Review "_s + moduleTitle(mi) + u", "_s + size);
    result.image->show();
    result.review->show();
    const QString overviewTab = QString::fromLatin1(ModuleScreens[mi - 1].overview);
    reloadTabWhenScanDone(overviewTab);
    // One scan result per module: its overview offers "Review" and "Re-Scan" for this one.
    if (SlideStack *tabs = getTabViewController()) {
        if (auto *overview = qobject_cast<OverviewViewController *>(tabs->widget(getTabWithIndentifier(overviewTab)))) {
            overview->loadViewIfNeeded();
            overview->adoptScanResult();
        }
    }
}

void DashboardViewController::reviewJunk()
{
    switchTabTo(QString::fromLatin1(ModuleScreens[0].detail));
}

void DashboardViewController::reviewUnnessary()
{
    switchTabTo(QString::fromLatin1(ModuleScreens[1].detail));
}

void DashboardViewController::reviewLargeFile()
{
    switchTabTo(QString::fromLatin1(ModuleScreens[2].detail));
}

} // namespace gui
