#include "ui/OverviewViewController.h"

#include "ui/ModuleSummaryView.h"

#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace gui {

OverviewViewController::OverviewViewController(QWidget *parent)
    : TabViewSwitchController(parent)
{
    setObjectName(u"OverviewViewController"_s);
}

OverviewViewController::~OverviewViewController() = default;

void OverviewViewController::viewDidLoad()
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_summary = new ModuleSummaryView(this);
    layout->addWidget(m_summary);
    reloadData();
}

void OverviewViewController::reloadData()
{
    if (!isViewLoaded()) {
        return;
    }
    m_summary->showModule(moduleIndex());
}

} // namespace gui
