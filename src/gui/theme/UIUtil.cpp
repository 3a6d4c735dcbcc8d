#include "theme/UIUtil.h"

#include "platform/Fonts.h"

#include <QAbstractButton>
#include <QAction>
#include <QFontDatabase>
#include <QLabel>
#include <QWidget>

using namespace Qt::StringLiterals;

namespace gui {

namespace {

QString cssColor(const QColor &c)
{
    // #AARRGGBB; an extended-range component is shown at full strength.
    return c.toRgb().name(QColor::HexArgb);
}

/// Rebuilds the style sheet of a themed button from its text colour and
/// the background kept in "layerBackground".
void applyButtonStyle(QAbstractButton *btn, const QColor &text)
{
    const QVariant background = btn->property("layerBackground");
    QString css = u"QAbstractButton { color: %1; border-radius: 6px; padding: 6px 18px;"_s.arg(cssColor(text));
    if (background.isValid()) {
        const QColor bg = background.value<QColor>();
        css += u" border: none; background-color: %1; }"_s.arg(cssColor(bg));
        css += u" QAbstractButton:hover { background-color: %1; }"_s.arg(cssColor(bg.lighter(110)));
        css += u" QAbstractButton:pressed { background-color: %1; }"_s.arg(cssColor(bg.darker(115)));
    } else {
        css += u" }"_s;
    }
    css += u" QAbstractButton:disabled { color: %1; }"_s.arg(
        cssColor(QColor::fromRgbF(text.redF(), text.greenF(), text.blueF(), text.alphaF() * 0.55f)));
    btn->setStyleSheet(css);
}

} // namespace

QColor UIUtil::color(const core::Rgba &rgba)
{
    return QColor::fromRgbF(static_cast<float>(rgba.red / 255.0),
        static_cast<float>(rgba.green / 255.0),
        static_cast<float>(rgba.blue / 255.0),
        static_cast<float>(rgba.alpha));
}

QFont UIUtil::font(const core::MyUI &myui)
{
    return fontWithName(QString::fromStdString(myui.name), myui.size);
}

void UIUtil::setBtnAttribute(QAbstractButton *btn, const QString &title, const core::MyUI &myui)
{
    if (btn == nullptr) {
        return;
    }
    btn->setText(title);
    btn->setFont(font(myui));
    if (myui.balpha > 0.0) {
        btn->setProperty("layerBackground", color(myui.buttonColor()));
    }
    applyButtonStyle(btn, color(myui.color()));
}

void UIUtil::setTextAttribute(QLabel *txt, const core::MyUI &myui)
{
    if (txt == nullptr) {
        return;
    }
    txt->setFont(font(myui));
    QPalette palette = txt->palette();
    palette.setColor(QPalette::WindowText, color(myui.color()));
    txt->setPalette(palette);
}

void UIUtil::setMenuAttribute(QAction *menu, const QString &title, const core::MyUI &myui)
{
    if (menu == nullptr) {
        return;
    }
    const QColor text = color(myui.color());
    menu->setText(title);
    menu->setFont(font(myui));
    menu->setProperty("textColor", text);
    const QList<QObject *> shownBy = menu->associatedObjects();
    for (QObject *object : shownBy) {
        if (auto *button = qobject_cast<QAbstractButton *>(object)) {
            QPalette palette = button->palette();
            palette.setColor(QPalette::ButtonText, text);
            button->setPalette(palette);
        }
    }
}

QFont UIUtil::barChartLegendNameFont()
{
    QFont f = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    f.setPixelSize(11);
    f.setBold(true);
    return f;
}

QFont UIUtil::barChartLegendSizeTextFont()
{
    QFont f = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    f.setPixelSize(11);
    return f;
}

} // namespace gui
