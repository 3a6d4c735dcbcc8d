#include "ui/DetailViewController.h"

#include "ui/ModuleSummaryView.h"

#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace gui {

DetailViewController::DetailViewController(QWidget *parent)
    : TabViewSwitchController(parent)
{
    setObjectName(u"DetailViewController"_s);
}

DetailViewController::~DetailViewController() = default;

void DetailViewController::viewDidLoad()
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_summary = new ModuleSummaryView(this);
    layout->addWidget(m_summary);
    reloadData();
}

void DetailViewController::reloadData()
{
    if (!isViewLoaded()) {
        return;
    }
    m_summary->showModule(moduleIndex());
}

} // namespace gui
