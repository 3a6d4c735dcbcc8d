// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/OverviewViewController.h"

#include "engine/ModuleInfo.h"
#include "format/Format.h"
#include "platform/ImageStore.h"
#include "theme/UIInfo.h"
#include "theme/UIUtil.h"
#include "ui/FeatureDD.h"
#include "ui/FoundSummary.h"
#include "ui/ModuleActivity.h"
#include "ui/ReviewCells.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QPainter>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>

using namespace Qt::StringLiterals;

namespace gui {

namespace {

constexpr int ImageSide = 200;
constexpr int ProgressSteps = 1000;
constexpr int PrepareTwinDelayMs = 400;
constexpr int PathRefreshMs = 40;

/// A one-line label that keeps its whole text (for accessibility and tool
/// tips) but paints it cut in the middle when it is wider than the label,
/// and never asks the layout for more width: a long path must not widen the screen.
class PathLabel final : public QLabel
{
public:
    explicit PathLabel(QWidget *parent)
        : QLabel(parent)
    {
        setTextFormat(Qt::PlainText);
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    }
    QSize minimumSizeHint() const override { return { 0, fontMetrics().height() + 4 }; }
    QSize sizeHint() const override { return { 0, fontMetrics().height() + 4 }; }

protected:
    void paintEvent(QPaintEvent *event) override
    {
        Q_UNUSED(event)
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(rect(), Qt::AlignCenter, fontMetrics().elidedText(text(), Qt::ElideMiddle, width()));
    }
};

} // namespace

OverviewViewController::OverviewViewController(QWidget *parent)
    : TabViewSwitchController(parent)
    , m_pathRefresh(new QTimer(this))
{
    setObjectName(u"OverviewViewController"_s);
    m_pathRefresh->setSingleShot(true);
    m_pathRefresh->setInterval(PathRefreshMs);
    connect(m_pathRefresh, &QTimer::timeout, this, &OverviewViewController::showPendingPath);
    connect(&ModuleActivity::instance(), &ModuleActivity::activityChanged, this, [this](int module) {
        if (module == moduleIndex() && isViewLoaded()) {
            updateButtons();
        }
    });
}

OverviewViewController::~OverviewViewController() = default;

void OverviewViewController::viewDidLoad()
{
    m_overviewTitle = new QLabel(this);
    m_overviewTitle->setObjectName(u"overviewTitle"_s);
    m_overviewTitle->setWordWrap(true);
    m_overviewDescription = new QLabel(this);
    m_overviewDescription->setObjectName(u"overviewDescription"_s);
    m_overviewDescription->setWordWrap(true);
    m_overviewDescription->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_overviewImage = new QLabel(this);
    m_overviewImage->setObjectName(u"overviewImage"_s);
    m_overviewImage->setFixedSize(ImageSide, ImageSide);
    m_overviewImage->setAlignment(Qt::AlignCenter);

    m_featureView = new QListView(this);
    m_featureView->setObjectName(u"featureView"_s);
    m_featureView->setAccessibleName(u"Features"_s);
    m_featureView->setSelectionMode(QAbstractItemView::NoSelection);
    m_featureView->setFocusPolicy(Qt::NoFocus);
    m_featureView->setUniformItemSizes(true);
    m_featureView->setFrameShape(QFrame::NoFrame);
    m_featureView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_featureView->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_featureView->setStyleSheet(u"QListView { background: transparent; border: none; }"_s);
    m_featureView->viewport()->setAutoFillBackground(false);
    m_featureCell = new FeatureCellView(m_featureView);
    m_featureView->setItemDelegate(m_featureCell);

    m_scanBTN = new QPushButton(this);
    m_scanBTN->setObjectName(u"scanBTN"_s);
    m_scanBTN->setAutoDefault(true); // Return presses it when it has the focus
    m_scanBTN->setMinimumWidth(160);
    m_rescanBTN = new QPushButton(this);
    m_rescanBTN->setObjectName(u"rescanBTN"_s);
    m_rescanBTN->setAutoDefault(true);
    m_scanProgress = new QProgressBar(this);
    m_scanProgress->setObjectName(u"scanProgress"_s);
    m_scanProgress->setAccessibleName(u"Scan progress"_s);
    m_scanProgress->setRange(0, ProgressSteps);
    m_scanProgress->setValue(0);
    m_scanProgress->setTextVisible(false);
    m_scanProgress->setFixedHeight(8);
    m_pathLabel = new PathLabel(this);
    m_pathLabel->setObjectName(u"pathLabel"_s);
    connect(m_scanBTN, &QPushButton::clicked, this, &OverviewViewController::scan);
    connect(m_rescanBTN, &QPushButton::clicked, this, &OverviewViewController::rescanDetail);

    // Picture on the left; title, description and features on the right;
    // the scan controls centred underneath.
    auto *text = new QVBoxLayout();
    text->setSpacing(10);
    text->addWidget(m_overviewTitle);
    text->addWidget(m_overviewDescription);
    text->addSpacing(6);
    text->addWidget(m_featureView, 1);
    auto *top = new QHBoxLayout();
    top->setSpacing(28);
    top->addWidget(m_overviewImage, 0, Qt::AlignTop);
    top->addLayout(text, 1);

    auto *buttons = new QHBoxLayout();
    buttons->setSpacing(12);
    buttons->addStretch(1);
    buttons->addWidget(m_scanBTN);
    buttons->addWidget(m_rescanBTN);
    buttons->addStretch(1);
    auto *progressRow = new QHBoxLayout();
    progressRow->addStretch(1);
    progressRow->addWidget(m_scanProgress, 4);
    progressRow->addStretch(1);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(36, 28, 36, 20);
    layout->setSpacing(12);
    layout->addLayout(top, 1);
    layout->addLayout(buttons);
    layout->addLayout(progressRow);
    layout->addWidget(m_pathLabel);

    reloadData();
    const ThemeSnapshot theme;
    m_scanButtonStyle = theme.entry("scan_button_font");
    m_pathStyle = theme.entry("scanning_path_font");
    setScanTitle(u"Scan"_s);
    UIUtil::setTextAttribute(m_pathLabel, m_pathStyle);
    m_rescanBTN->hide();
    updateButtons();
    connect(UIUtil::notifier(), &ThemeNotifier::themeChanged, this, [this] {
        reloadData();
        m_scanButtonStyle = core::UIInfo::nsMyUI("scan_button_font");
        m_pathStyle = core::UIInfo::nsMyUI("scanning_path_font");
        UIUtil::setBtnAttribute(m_scanBTN, m_scanBTN->text(), m_scanButtonStyle);
        UIUtil::setTextAttribute(m_pathLabel, m_pathStyle);
        UIUtil::setBtnAttribute(m_rescanBTN, m_rescanBTN->text(), core::UIInfo::nsMyUI("rescan_button_font"));
    });
}

void OverviewViewController::reloadData()
{
    if (!isViewLoaded()) {
        return;
    }
    const auto &modules = core::ModuleInfo::modules();
    const core::Module *module = moduleIndex() >= 0 && static_cast<std::size_t>(moduleIndex()) < modules.size()
        ? &modules[static_cast<std::size_t>(moduleIndex())]
        : nullptr;
    std::vector<core::Feature> features = module != nullptr ? module->features : std::vector<core::Feature>();
    if (m_featureDD == nullptr) {
        m_featureDD = new FeatureDD(std::move(features), u"featureCell"_s, this);
        m_featureView->setModel(m_featureDD);
    } else {
        m_featureDD->setFeatures(std::move(features));
    }
    const ThemeSnapshot theme;
    m_featureCell->reloadStyle(theme);
    m_overviewTitle->setText(module != nullptr ? QString::fromStdString(module->title) : QString());
    UIUtil::setTextAttribute(m_overviewTitle, theme.entry("module_title_font"));
    m_overviewDescription->setText(module != nullptr ? QString::fromStdString(module->description) : QString());
    UIUtil::setTextAttribute(m_overviewDescription, theme.entry("module_description_font"));
    const QString image = module != nullptr ? QString::fromStdString(module->image) + u"_Overview"_s : QString();
    m_overviewImage->setPixmap(ImageStore::pixmap(image, QSize(ImageSide, ImageSide)));
    m_overviewImage->setAccessibleName(module != nullptr ? QString::fromStdString(module->title) : QString());
    m_featureView->viewport()->update();
}

void OverviewViewController::showEvent(QShowEvent *event)
{
    TabViewSwitchController::showEvent(event);
    // The detail screen is built while the person reads this one (after the
    // slide), so that the end of a scan only has to fill and show it.
    QTimer::singleShot(PrepareTwinDelayMs, this, [this] {
        if (isVisible()) {
            if (SlideStack *tabs = getTabViewController()) {
                if (auto *twin = qobject_cast<TabViewSwitchController *>(
                        tabs->widget(getTabWithIndentifier(getTwinTabIdentifier())))) {
                    twin->loadViewIfNeeded();
                }
            }
        }
    });
    // A keyboard user lands on the button that moves on: "Scan" or "Review".
    if (m_scanBTN != nullptr && m_scanBTN->isEnabled() && (focusWidget() == nullptr || !focusWidget()->isVisible())) {
        m_scanBTN->setFocus(Qt::OtherFocusReason);
    }
}

QString OverviewViewController::percentTitle(float percent)
{
    const float hundredths = percent * 100.0F;
    return QString::number(static_cast<int>(std::floor(hundredths))) + u"%"_s;
}

void OverviewViewController::setScanTitle(const QString &title)
{
    // Restyling costs a style sheet: only when the title really changes.
    if (title == m_scanTitle && m_scanBTN->text() == title) {
        return;
    }
    m_scanTitle = title;
    UIUtil::setBtnAttribute(m_scanBTN, title, m_scanButtonStyle);
    m_scanBTN->setAccessibleName(title == u"Review"_s || title == u"Scan"_s ? title : u"Scanning, "_s + title);
}

void OverviewViewController::updateButtons()
{
    const bool busy = ModuleActivity::instance().isBusy(moduleIndex());
    m_scanBTN->setEnabled(m_scanStatus == 1 || !busy);
    m_rescanBTN->setEnabled(!busy);
}

void OverviewViewController::scan()
{
    if (m_scanStatus == 1) {
        switchToTwinTab();
        return;
    }
    startScan();
}

void OverviewViewController::rescanDetail()
{
    m_scanStatus = 0;
    scan();
}

void OverviewViewController::startScan()
{
    if (!isViewLoaded() || ModuleActivity::instance().isBusy(moduleIndex())) {
        return;
    }
    m_rescanBTN->hide();
    m_scanBTN->setEnabled(false);
    m_totalScanSize = 0;
    m_scanProgress->setValue(0);
    const ThemeSnapshot theme;
    m_scanButtonStyle = theme.entry("scan_button_font");
    m_pathStyle = theme.entry("scanning_path_font");
    UIUtil::setTextAttribute(m_pathLabel, m_pathStyle);

    QPointer<OverviewViewController> self(this);
    ModuleActivity::instance().scan(
        moduleIndex(),
        [self](const std::string &path, std::int64_t size) {
            if (self) {
                self->progress(path, size);
            }
        },
        [self](float percent) {
            if (self) {
                self->showPercent(percent);
            }
        },
        [self] {
            if (self) {
                self->doneScan();
            }
        });
}

void OverviewViewController::progress(const std::string &path, std::int64_t size)
{
    m_totalScanSize += size;
    if (path.empty()) {
        return;
    }
    // Reports come by the ten thousand: the label shows a path at once, then
    // at most one more every PathRefreshMs (the latest), which a person can
    // still read and which keeps each report cheap for the GUI thread. The
    // label keeps the style the scan started with (set in startScan).
    if (m_pathRefresh->isActive()) {
        m_pendingPath = path;
        return;
    }
    m_pathLabel->setText(QString::fromUtf8(path.data(), static_cast<qsizetype>(path.size())));
    m_pathRefresh->start();
}

void OverviewViewController::showPendingPath()
{
    if (m_pendingPath.empty()) {
        return;
    }
    m_pathLabel->setText(QString::fromUtf8(m_pendingPath.data(), static_cast<qsizetype>(m_pendingPath.size())));
    m_pendingPath.clear();
    m_pathRefresh->start();
}

void OverviewViewController::showPercent(float percent)
{
    m_scanProgress->setValue(static_cast<int>(std::lround(static_cast<double>(percent) * ProgressSteps)));
    setScanTitle(percentTitle(percent));
}

void OverviewViewController::showScanResult()
{
    m_pathRefresh->stop();
    m_pendingPath.clear();
    m_pathLabel->setText(u"Scanning Completed! "_s
        + QString::fromStdString(core::format::formatByteCount(m_totalScanSize)) + u" Files Found"_s);
    UIUtil::setTextAttribute(m_pathLabel, m_pathStyle);
    setScanTitle(u"Review"_s);
    m_scanStatus = 1;
    UIUtil::setBtnAttribute(m_rescanBTN, u"Re-Scan"_s, core::UIInfo::nsMyUI("rescan_button_font"));
    m_rescanBTN->show();
    updateButtons();
    reloadTwinTabData();
}

void OverviewViewController::adoptScanResult()
{
    if (!isViewLoaded() || ModuleActivity::instance().isBusy(moduleIndex())) {
        return;
    }
    m_totalScanSize = FoundSummary::sizeOf(core::ModuleInfo::modules(), moduleIndex());
    m_pathStyle = core::UIInfo::nsMyUI("scanning_path_font");
    m_scanButtonStyle = core::UIInfo::nsMyUI("scan_button_font");
    m_scanProgress->setValue(m_scanProgress->maximum());
    showScanResult();
}

void OverviewViewController::doneScan()
{
    showScanResult();
    // Only when the person is still looking at this screen: a scan that
    // ends while they are elsewhere does not pull them away.
    SlideStack *tabs = getTabViewController();
    if (tabs != nullptr && tabs->widget(tabIndex()) == this) {
        switchTabWithTransition(getTabWithIndentifier(getTwinTabIdentifier()));
    }
}

} // namespace gui
