#pragma once

#include "ui/TabViewSwitchController.h"

namespace gui {

class ModuleSummaryView;

/// A cleaning module's detail screen (tabs "systemJunkDetail",
/// "applicationJunkDetail", "largeAndOldFileDetail"): the title and
/// description of module `moduleIndex`. GUI thread.
class DetailViewController : public TabViewSwitchController
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DetailViewController)

public:
    explicit DetailViewController(QWidget *parent = nullptr);
    ~DetailViewController() override;

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
