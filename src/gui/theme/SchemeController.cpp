// SPDX-License-Identifier: GPL-3.0-or-later
#include "theme/SchemeController.h"

#include "platform/UserDefaults.h"
#include "theme/UIUtil.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>

using namespace Qt::StringLiterals;

namespace gui {

SchemeController::SchemeController(UserDefaults &defaults, DesktopScheme &desktop, QObject *parent)
    : QObject(parent)
    , m_defaults(defaults)
    , m_desktop(desktop)
    , m_choice(schemeChoiceFromName(defaults.stringForKey(QString::fromLatin1(SettingsKey))))
{
    connect(&m_desktop, &DesktopScheme::changed, this, &SchemeController::onDesktopChanged);
}

void SchemeController::setChoice(SchemeChoice choice)
{
    m_choice = choice;
    if (choice == SchemeChoice::System) {
        m_defaults.removeKey(QString::fromLatin1(SettingsKey));
    } else {
        m_defaults.setString(QString::fromLatin1(SettingsKey), schemeChoiceName(choice));
    }
    m_defaults.synchronize();
    if (m_group != nullptr) {
        const QList<QAction *> actions = m_group->actions();
        for (QAction *action : actions) {
            action->setChecked(action->data().toString() == schemeChoiceName(choice));
        }
    }
    apply();
}

void SchemeController::apply()
{
    m_scheme = m_desktop.scheme(m_choice);
    UIUtil::applyScheme(m_scheme);
    Q_EMIT schemeChanged(m_scheme);
}

void SchemeController::onDesktopChanged()
{
    // A fixed choice ignores the desktop; under System show its new look
    // (applied again only when it differs, to keep screens as they are).
    if (m_choice == SchemeChoice::System && m_desktop.scheme(m_choice) != m_scheme) {
        apply();
    }
}

void SchemeController::addMenuItems(QMenu *menu)
{
    m_group = new QActionGroup(menu);
    m_group->setExclusive(true);
    const struct
    {
        SchemeChoice choice;
        QString title;
        QString name;
    } items[] = {
        { SchemeChoice::Light, tr("&Light"), u"schemeLightAction"_s },
        { SchemeChoice::Dark, tr("&Dark"), u"schemeDarkAction"_s },
        { SchemeChoice::System, tr("&System"), u"schemeSystemAction"_s },
    };
    for (const auto &item : items) {
        QAction *action = menu->addAction(item.title);
        action->setObjectName(item.name);
        action->setCheckable(true);
        action->setChecked(item.choice == m_choice);
        action->setData(schemeChoiceName(item.choice));
        action->setActionGroup(m_group);
        const SchemeChoice choice = item.choice;
        connect(action, &QAction::triggered, this, [this, choice] {
            if (choice != m_choice) {
                setChoice(choice);
            }
        });
    }
}

} // namespace gui
