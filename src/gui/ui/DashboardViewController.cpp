#include "ui/DashboardViewController.h"

#include "ui/ModuleSummaryView.h"

#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace gui {

DashboardViewController::DashboardViewController(QWidget *parent)
    : TabViewSwitchController(parent)
{
    setObjectName(u"DashboardViewController"_s);
}

DashboardViewController::~DashboardViewController() = default;

void DashboardViewController::viewDidLoad()
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_summary = new ModuleSummaryView(this);
    layout->addWidget(m_summary);
    m_summary->showModule(moduleIndex());
}

} // namespace gui
