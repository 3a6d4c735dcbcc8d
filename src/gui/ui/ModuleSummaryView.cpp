// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ModuleSummaryView.h"

#include "engine/ModuleInfo.h"
#include "theme/UIInfo.h"
#include "theme/UIUtil.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace gui {

ModuleSummaryView::ModuleSummaryView(QWidget *parent)
    : QWidget(parent)
    , m_title(new QLabel(this))
    , m_description(new QLabel(this))
{
    m_title->setObjectName(u"moduleTitle"_s);
    m_description->setObjectName(u"moduleDescription"_s);
    m_title->setAlignment(Qt::AlignHCenter);
    m_title->setWordWrap(true);
    m_description->setAlignment(Qt::AlignHCenter);
    m_description->setWordWrap(true);
    m_description->setTextInteractionFlags(Qt::TextSelectableByMouse);
    connect(UIUtil::notifier(), &ThemeNotifier::themeChanged, this, [this] {
        UIUtil::setTextAttribute(m_title, core::UIInfo::nsMyUI("module_title_font"));
        UIUtil::setTextAttribute(m_description, core::UIInfo::nsMyUI("module_description_font"));
    });

    // A column of readable width, centred; the labels take its full width
    // so that wrapped text gets the height it needs.
    auto *column = new QWidget(this);
    column->setMaximumWidth(580);
    auto *columnLayout = new QVBoxLayout(column);
    columnLayout->setContentsMargins(0, 0, 0, 0);
    columnLayout->setSpacing(14);
    columnLayout->addWidget(m_title);
    columnLayout->addWidget(m_description);
    m_title->setParent(column);
    m_description->setParent(column);

    auto *row = new QHBoxLayout();
    row->addStretch(1);
    row->addWidget(column, 100);
    row->addStretch(1);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(32, 24, 32, 24);
    layout->addStretch(2);
    layout->addLayout(row);
    layout->addStretch(3);
}

ModuleSummaryView::~ModuleSummaryView() = default;

void ModuleSummaryView::showModule(int moduleIndex)
{
    const auto &modules = core::ModuleInfo::modules();
    if (moduleIndex < 0 || static_cast<std::size_t>(moduleIndex) >= modules.size()) {
        m_title->clear();
        m_description->clear();
        return;
    }
    const core::Module &module = modules[static_cast<std::size_t>(moduleIndex)];
    m_title->setText(QString::fromStdString(module.title));
    UIUtil::setTextAttribute(m_title, core::UIInfo::nsMyUI("module_title_font"));
    m_description->setText(QString::fromStdString(module.description));
    UIUtil::setTextAttribute(m_description, core::UIInfo::nsMyUI("module_description_font"));
}

} // namespace gui
