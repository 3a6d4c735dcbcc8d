// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "theme/MyUI.h"
#include "ui/TabViewSwitchController.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <string>

class QLabel;
class QListView;
class QProgressBar;
class QPushButton;
class QTimer;

namespace gui {

class FeatureCellView;
class FeatureDD;

/// A cleaning module's overview screen (tabs "systemJunkOverview",
/// "applicationJunkOverview", "largeAndOldFileOverview"): the module's
/// title, description, picture and features; "Scan" scans it with a
/// progress bar and the percentage on the button, the path being measured
/// under it, then "Scanning Completed! <size> Files Found", and the screen
/// slides to its detail twin. From then on the button reads "Review" (to
/// the detail screen, no scan) beside "Re-Scan".
///
/// Scans go through ModuleActivity: while the module is scanned or cleaned
/// (from here or from another screen) neither "Scan" nor "Re-Scan" can be
/// pressed; "Review" stays available. GUI thread.
class OverviewViewController : public TabViewSwitchController
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(OverviewViewController)

public:
    explicit OverviewViewController(QWidget *parent = nullptr);
    ~OverviewViewController() override;

    /// Shows module `moduleIndex`'s title, description, picture and
    /// features (nothing before the view has loaded).
    void reloadData() override;

    /// "Scan": after a completed scan, switches to the detail twin;
    /// otherwise starts a scan (unless the module is busy).
    void scan();
    /// "Re-Scan": forgets the completed scan and scans again.
    void rescanDetail();

    // The scan's callbacks (main queue).
    void progress(const std::string &path, std::int64_t size);
    void showPercent(float percent);
    /// A scan of this module started elsewhere (the dashboard) has ended:
    /// the screen shows its result as if it had scanned ("Review" to its
    /// details, "Re-Scan"); nothing while the module is busy.
    void adoptScanResult();
    void doneScan();

    /// The button title for a fraction done: floor(fraction x 100) in
    /// 32-bit floating point, then "%" (0.999 gives "99%"). Pure.
    static QString percentTitle(float percent);

    int scanStatus() const { return m_scanStatus; }
    std::int64_t totalScanSize() const { return m_totalScanSize; }

    QLabel *overviewTitle() const { return m_overviewTitle; }
    QLabel *overviewDescription() const { return m_overviewDescription; }
    QLabel *overviewImage() const { return m_overviewImage; }
    QListView *featureView() const { return m_featureView; }
    FeatureDD *featureDD() const { return m_featureDD; }
    QPushButton *scanBTN() const { return m_scanBTN; }
    QPushButton *rescanBTN() const { return m_rescanBTN; }
    QProgressBar *scanProgress() const { return m_scanProgress; }
    QLabel *pathLabel() const { return m_pathLabel; }

protected:
    void viewDidLoad() override;
    void showEvent(QShowEvent *event) override;

private:
    void startScan();
    /// Enables the buttons from scanStatus and whether the module is busy.
    void updateButtons();
    /// The end of a scan: the total found, "Review" and "Re-Scan", the detail twin reloaded.
    void showScanResult();
    void setScanTitle(const QString &title);
    void showPendingPath();

    QLabel *m_overviewTitle = nullptr; // owned (child); made by viewDidLoad, like every widget below
    QLabel *m_overviewDescription = nullptr;
    QLabel *m_overviewImage = nullptr;
    QListView *m_featureView = nullptr;
    FeatureDD *m_featureDD = nullptr; // owned (child); made by the first reload
    FeatureCellView *m_featureCell = nullptr;
    QPushButton *m_scanBTN = nullptr;
    QPushButton *m_rescanBTN = nullptr;
    QProgressBar *m_scanProgress = nullptr;
    QLabel *m_pathLabel = nullptr;

    int m_scanStatus = 0;
    std::int64_t m_totalScanSize = 0;
    // The theme entries a scan styles with, read once when it starts
    // (a lookup re-reads the theme file; reports come by the thousand).
    core::MyUI m_scanButtonStyle;
    core::MyUI m_pathStyle;
    QString m_scanTitle;
    QTimer *m_pathRefresh; // owned (child)
    std::string m_pendingPath; // the latest path not shown yet
};

} // namespace gui
