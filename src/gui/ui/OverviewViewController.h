#pragma once

#include "ui/TabViewSwitchController.h"

namespace gui {

class ModuleSummaryView;

/// A cleaning module's overview screen (tabs "systemJunkOverview",
/// "applicationJunkOverview", "largeAndOldFileOverview"): the title and
/// description of module `moduleIndex`. GUI thread.
class OverviewViewController : public TabViewSwitchController
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(OverviewViewController)

public:
    explicit OverviewViewController(QWidget *parent = nullptr);
    ~OverviewViewController() override;

    /// Shows the current title and description of module `moduleIndex`
    /// (nothing before the screen has loaded its view).
    void reloadData() override;

    ModuleSummaryView *summary() const { return m_summary; }

protected:
    void viewDidLoad() override;

private:
    ModuleSummaryView *m_summary = nullptr; // owned (child); made by viewDidLoad
};

} // namespace gui
