// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ui/MachineDescription.h"
#include "ui/TabViewSwitchController.h"

#include <cstdint>
#include <string>

class QLabel;
class QPushButton;

namespace gui {

class MonitorPanel;

/// The first screen (tab "dashboard", child 0): the machine's name and
/// description, the four live monitors, and one "Scan" button that scans
/// the three cleaning modules (catalogue positions 1, 2 and 3) at once.
///
/// While a scan runs the button reads "Scanning" and is disabled, and the
/// path label shows the item being measured (cut to 40 UTF-16 units and
/// "..."). Each module that finishes shows its "_Review" picture and a
/// "Review" button that leads to its detail screen; after the third, the
/// label says "Scanning Completed! <size> File Found" and the button
/// "Re-Scan", with how much of it is junk, how much the user's own large
/// and old files and how much is for review only (a file listed twice
/// counted once); each Review button shows its module's size, and the
/// module's overview offers "Review" and "Re-Scan" for the same result.
/// Return and Enter press the focused button; a scan started from the
/// keyboard leaves the focus on the first "Review". The monitors are
/// redrawn only while the screen is on view.
///
/// The scans go through ModuleActivity, like those of the overview
/// screens: while the dashboard scans, those screens cannot scan or clean
/// the three modules, and while one of the modules is scanned or cleaned
/// elsewhere, "Scan" is disabled here.
///
/// Widgets are made when the screen is first shown (viewDidLoad); before
/// that the accessors return nullptr. GUI thread; scan callbacks arrive on
/// the main queue.
class DashboardViewController : public TabViewSwitchController
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DashboardViewController)

public:
    explicit DashboardViewController(QWidget *parent = nullptr);
    ~DashboardViewController() override;

    /// The path label's text for `path`: its first 40 UTF-16 units and
    /// "..." when it has 41 or more (39 when the 40th would split a
    /// surrogate pair), otherwise the path itself. Pure.
    static QString shortenedPath(const QString &path);

    /// The model name and description of this machine (see describeMachine),
    /// with the resource "SIMachineAttributes.plist" as the table.
    static ModelTexts getModelData();

    /// Hides the three result pictures and review buttons.
    void hideAllImage();
    /// A monitor timer fired: redraws the view of `tag` ("cpu", "memory", "disk", "battery").
    void startTimer(const QString &tag);
    using QObject::startTimer;

    /// A scanned item: shows its path and adds `size` to the total. A batch
    /// of deeper items (empty path) only adds its size.
    void progress(const std::string &path, std::int64_t size);
    /// Nothing: the dashboard shows no percentage.
    void showPercent(float percent);
    /// Module `mi` finished: counts it, shows its result, and after the third
    /// one the completion message and "Re-Scan".
    void doneScan(int mi);
    /// Shows the result picture and review button of module 1, 2 or 3 and
    /// makes sure its overview screen exists; any other index does nothing.
    void showModule(int mi);

    std::int64_t totalScanSize() const { return m_totalScanSize; }
    int doneModuleNumber() const { return m_doneModuleNumber; }

    QLabel *macInfo() const { return m_macInfo; }
    QLabel *macDesc() const { return m_macDesc; }
    QLabel *pathLabel() const { return m_pathLabel; }
    QPushButton *scanBTN() const { return m_scanBTN; }
    QLabel *junkImage() const { return m_junkImage; }
    QPushButton *junkReview() const { return m_junkReview; }
    QLabel *unnessaryImage() const { return m_unnessaryImage; }
    QPushButton *unnessaryReview() const { return m_unnessaryReview; }
    QLabel *largeFileImage() const { return m_largeFileImage; }
    QPushButton *largeFileRiview() const { return m_largeFileRiview; }
    /// The four monitors (cpuView, memoryView, dbView, batteryView) and their timers.
    MonitorPanel *monitors() const { return m_monitors; }

public Q_SLOTS:
    /// Scans modules 1, 2 and 3 together (each call returns at once);
    /// nothing starts while one of them is busy.
    void scanAll();
    void reviewJunk();
    void reviewUnnessary();
    void reviewLargeFile();

protected:
    void viewDidLoad() override;

private:
    /// Fonts, colours and button styles from the theme in force, keeping the texts shown.
    void applyTheme();

    struct ModuleResult
    {
        QLabel *image = nullptr;
        QPushButton *review = nullptr;
    };
    ModuleResult resultOf(int mi) const;
    static bool anyModuleBusy();
    void updateScanButton();
    QWidget *makeResult(int mi, QLabel *&image, QPushButton *&review, void (DashboardViewController::*action)());

    QLabel *m_macInfo = nullptr; // owned (children) from here on
    QLabel *m_macDesc = nullptr;
    QLabel *m_pathLabel = nullptr;
    QPushButton *m_scanBTN = nullptr;
    QLabel *m_junkImage = nullptr;
    QPushButton *m_junkReview = nullptr;
    QLabel *m_unnessaryImage = nullptr;
    QPushButton *m_unnessaryReview = nullptr;
    QLabel *m_largeFileImage = nullptr;
    QPushButton *m_largeFileRiview = nullptr;
    MonitorPanel *m_monitors = nullptr;

    std::int64_t m_totalScanSize = 0;
    int m_doneModuleNumber = 0;
    bool m_scanning = false; // a scan of all modules started here runs
    bool m_focusAfterScan = false; // Scan had the focus when pressed: Review takes it at the end
};

} // namespace gui
