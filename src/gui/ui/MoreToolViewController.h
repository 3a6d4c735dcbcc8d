#pragma once

#include "ui/TabViewSwitchController.h"

namespace gui {

class ModuleSummaryView;

/// The more-tools screen (tab "moreTool", child 3, module 4): the
/// module's title and description. GUI thread.
class MoreToolViewController : public TabViewSwitchController
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MoreToolViewController)

public:
    explicit MoreToolViewController(QWidget *parent = nullptr);
    ~MoreToolViewController() override;

    ModuleSummaryView *summary() const { return m_summary; }

protected:
    void viewDidLoad() override;

private:
    ModuleSummaryView *m_summary = nullptr; // owned (child); made by viewDidLoad
};

} // namespace gui
