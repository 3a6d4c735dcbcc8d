#pragma once

#include "ui/TabViewSwitchController.h"

namespace gui {

class ModuleSummaryView;

/// The first screen (tab "dashboard", child 0): the dashboard module's
/// title and description. GUI thread.
class DashboardViewController : public TabViewSwitchController
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DashboardViewController)

public:
    explicit DashboardViewController(QWidget *parent = nullptr);
    ~DashboardViewController() override;

    ModuleSummaryView *summary() const { return m_summary; }

protected:
    void viewDidLoad() override;

private:
    ModuleSummaryView *m_summary = nullptr; // owned (child); made by viewDidLoad
};

} // namespace gui
