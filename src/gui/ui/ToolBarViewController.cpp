// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ToolBarViewController.h"

#include "platform/ImageStore.h"
#include "platform/LinkOpener.h"
#include "theme/UIInfo.h"
#include "theme/UIUtil.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QToolButton>

using namespace Qt::StringLiterals;

namespace gui {

namespace {

constexpr int IconSide = 22;

/// The toolbar's line icons in the muted text colour of the theme in force,
/// so that they show on a dark toolbar as on a light one.
void tintIcon(QToolButton *button)
{
    const QColor tint = UIUtil::color(core::UIInfo::nsMyUI("table_path_font").color());
    QIcon tinted;
    for (const qreal ratio : { 1.0, 2.0 }) {
        QPixmap pixmap =
            ImageStore::icon(button->property("imageName").toString()).pixmap(QSize(IconSide, IconSide), ratio);
        QPainter painter(&pixmap);
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(QRectF(QPointF(0, 0), QSizeF(pixmap.deviceIndependentSize())), tint);
        painter.end();
        tinted.addPixmap(pixmap);
    }
    button->setIcon(tinted);
}

QToolButton *makeButton(QWidget *parent, const QString &name, const QString &image, const QString &tip)
{
    auto *button = new QToolButton(parent);
    button->setObjectName(name);
    button->setProperty("imageName", image);
    tintIcon(button);
    button->setIconSize(QSize(IconSide, IconSide));
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
    connect(UIUtil::notifier(), &ThemeNotifier::themeChanged, this, [this] {
        tintIcon(m_helpBTN);
        tintIcon(m_facebookBTN);
    });
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
