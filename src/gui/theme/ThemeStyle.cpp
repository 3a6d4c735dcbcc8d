// SPDX-License-Identifier: GPL-3.0-or-later
#include "theme/ThemeStyle.h"

#include <QApplication>
#include <QPainter>
#include <QStyleFactory>
#include <QStyleOption>

using namespace Qt::StringLiterals;

namespace gui {

ThemeStyle::ThemeStyle()
    : QProxyStyle(QStyleFactory::create(u"Fusion"_s))
{
}

void ThemeStyle::drawPrimitive(
    PrimitiveElement element, const QStyleOption *option, QPainter *painter, const QWidget *widget) const
{
    QProxyStyle::drawPrimitive(element, option, painter, widget);
    // Fusion draws an item view's box through this element as well.
    if (element != PE_IndicatorCheckBox || option == nullptr || painter == nullptr) {
        return;
    }
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, true);
    painter->setBrush(Qt::NoBrush);
    painter->setPen(QPen(option->palette.color(QPalette::Dark), 1.0));
    // Fusion's own frame: the box less one pixel, on pixel centres.
    painter->drawRect(QRectF(option->rect).adjusted(0.5, 0.5, -0.5, -0.5));
    painter->restore();
}

bool ThemeStyle::install()
{
    QStyle *current = QApplication::style();
    if (qobject_cast<ThemeStyle *>(current) != nullptr) {
        return true;
    }
    if (current == nullptr || current->name().compare(u"fusion"_s, Qt::CaseInsensitive) != 0) {
        return false;
    }
    QApplication::setStyle(new ThemeStyle);
    return true;
}

} // namespace gui
