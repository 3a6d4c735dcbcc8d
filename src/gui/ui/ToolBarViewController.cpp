// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ToolBarViewController.h"

#include "platform/ImageStore.h"
#include "platform/LinkOpener.h"

#include <QHBoxLayout>
#include <QToolButton>

using namespace Qt::StringLiterals;

namespace gui {

namespace {

QToolButton *makeButton(QWidget *parent, const QString &name, const QString &image, const QString &tip)
{
    auto *button = new QToolButton(parent);
    button->setObjectName(name);
    button->setIcon(ImageStore::icon(image));
    button->setIconSize(QSize(22, 22));
    button->setAutoRaise(true);
    button->setToolTip(tip);
    button->setAccessibleName(tip);
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

} // namespace

ToolBarViewController::ToolBarViewController(const LinkOpener *links, QWidget *parent)
    : QWidget(parent)
    , m_links(links)
    , m_helpBTN(makeButton(this, u"helpBTN"_s, u"toolbar_help"_s, tr("Help")))
    , m_facebookBTN(makeButton(this, u"facebookBTN"_s, u"toolbar_community"_s, tr("Community")))
{
    setObjectName(u"toolBar"_s);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(12, 6, 14, 6);
    layout->setSpacing(6);
    layout->addStretch(1);
    layout->addWidget(m_facebookBTN);
    layout->addWidget(m_helpBTN);
    connect(m_helpBTN, &QToolButton::clicked, this, &ToolBarViewController::helpAction);
    connect(m_facebookBTN, &QToolButton::clicked, this, &ToolBarViewController::facebookAction);
}

ToolBarViewController::~ToolBarViewController() = default;

void ToolBarViewController::helpAction()
{
    if (m_links != nullptr) {
        m_links->openLink("help_link");
    }
}

void ToolBarViewController::facebookAction()
{
    if (m_links != nullptr) {
        m_links->openLink("facebook_link");
    }
}

} // namespace gui
