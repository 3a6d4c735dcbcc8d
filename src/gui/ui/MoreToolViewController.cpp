#include "ui/MoreToolViewController.h"

#include "ui/ModuleSummaryView.h"

#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace gui {

MoreToolViewController::MoreToolViewController(QWidget *parent)
    : TabViewSwitchController(parent)
{
    setObjectName(u"MoreToolViewController"_s);
}

MoreToolViewController::~MoreToolViewController() = default;

void MoreToolViewController::viewDidLoad()
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_summary = new ModuleSummaryView(this);
    layout->addWidget(m_summary);
    setModuleIndex(4);
    m_summary->showModule(moduleIndex());
}

} // namespace gui
