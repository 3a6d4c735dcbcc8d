// SPDX-License-Identifier: GPL-3.0-or-later
// Light and dark looks: deciding from the user's choice, the settings portal
// and the desktop palette; the View menu; the switch applied at once.

#include "GuiTestSupport.h"
#include "platform/ColorScheme.h"
#include "platform/UserDefaults.h"
#include "theme/SchemeController.h"
#include "theme/UIInfo.h"
#include "theme/UIUtil.h"
#include "ui/AppDelegate.h"
#include "ui/MainWindow.h"
#include "ui/OverviewViewController.h"
#include "ui/ViewController.h"

#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QDBusVariant>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <sys/types.h>

using namespace Qt::StringLiterals;
using gui::ColorScheme;
using gui::SchemeChoice;

Q_DECLARE_METATYPE(std::optional<uint>)

namespace {

const QColor DarkWindow(0x24, 0x24, 0x24);
const QColor LightWindow(0xef, 0xef, 0xef);

QColor themeColor(std::string_view key)
{
    return gui::UIUtil::color(core::UIInfo::nsMyUI(key).color());
}

class SchemeTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { m_palette = QApplication::palette(); }
    void cleanup()
    {
        core::UIInfo::setVariant(core::ThemeVariant::Light);
        QApplication::setPalette(m_palette);
    }

    void decidesFromChoicePortalAndPalette_data()
    {
        QTest::addColumn<SchemeChoice>("choice");
        QTest::addColumn<std::optional<uint>>("portal");
        QTest::addColumn<QColor>("window");
        QTest::addColumn<ColorScheme>("expected");
        const std::optional<uint> none;
        // A fixed choice wins over everything the desktop says.
        QTest::newRow("light over dark portal")
            << SchemeChoice::Light << std::optional<uint>(1U) << DarkWindow << ColorScheme::Light;
        QTest::newRow("dark over light portal")
            << SchemeChoice::Dark << std::optional<uint>(2U) << LightWindow << ColorScheme::Dark;
        // The portal's preference wins over the palette.
        QTest::newRow("portal dark, light palette")
            << SchemeChoice::System << std::optional<uint>(1U) << LightWindow << ColorScheme::Dark;
        QTest::newRow("portal light, dark palette")
            << SchemeChoice::System << std::optional<uint>(2U) << DarkWindow << ColorScheme::Light;
        // No preference, no portal or a value from a later portal: the palette decides.
        QTest::newRow("no preference, dark palette")
            << SchemeChoice::System << std::optional<uint>(0U) << DarkWindow << ColorScheme::Dark;
        QTest::newRow("no portal, dark palette") << SchemeChoice::System << none << DarkWindow << ColorScheme::Dark;
        QTest::newRow("unknown value, dark palette")
            << SchemeChoice::System << std::optional<uint>(7U) << DarkWindow << ColorScheme::Dark;
        // The lightness boundary: half is light, just under half is dark.
        QTest::newRow("lightness 128") << SchemeChoice::System << none << QColor::fromHsl(0, 0, 128)
                                       << ColorScheme::Light;
        QTest::newRow("lightness 127") << SchemeChoice::System << none << QColor::fromHsl(0, 0, 127)
                                       << ColorScheme::Dark;
        QTest::newRow("no palette") << SchemeChoice::System << none << QColor() << ColorScheme::Light;
    }
    void decidesFromChoicePortalAndPalette()
    {
        QFETCH(SchemeChoice, choice);
        QFETCH(std::optional<uint>, portal);
        QFETCH(QColor, window);
        QFETCH(ColorScheme, expected);
        QCOMPARE(gui::decideScheme(choice, portal, window), expected);
    }

    void choiceNamesReadBackAndUnknownOnesAreSystem()
    {
        for (const SchemeChoice choice : { SchemeChoice::System, SchemeChoice::Light, SchemeChoice::Dark }) {
            QCOMPARE(gui::schemeChoiceFromName(gui::schemeChoiceName(choice)), choice);
        }
        QCOMPARE(gui::schemeChoiceName(SchemeChoice::Dark), u"Dark"_s);
        QCOMPARE(gui::schemeChoiceFromName(u"dark"_s), SchemeChoice::System);
        QCOMPARE(gui::schemeChoiceFromName(QString()), SchemeChoice::System);
    }

    void thePortalsSignalUpdatesOnlyTheColourScheme()
    {
        gui::DesktopScheme desktop(LightWindow, /*askPortal=*/false);
        QSignalSpy changed(&desktop, &gui::DesktopScheme::changed);
        QCOMPARE(desktop.scheme(SchemeChoice::System), ColorScheme::Light);

        desktop.onSettingChanged(u"org.freedesktop.appearance"_s, u"accent-color"_s, QDBusVariant(1U));
        desktop.onSettingChanged(u"org.gnome.desktop.interface"_s, u"color-scheme"_s, QDBusVariant(1U));
        QCOMPARE(changed.size(), 0);

        desktop.onSettingChanged(u"org.freedesktop.appearance"_s, u"color-scheme"_s, QDBusVariant(1U));
        QCOMPARE(changed.size(), 1);
        QCOMPARE(desktop.portalScheme(), std::optional<uint>(1U));
        QCOMPARE(desktop.scheme(SchemeChoice::System), ColorScheme::Dark);
        // The same value again is no change.
        desktop.onSettingChanged(u"org.freedesktop.appearance"_s, u"color-scheme"_s, QDBusVariant(1U));
        QCOMPARE(changed.size(), 1);

        // Older portals wrap the value twice.
        desktop.onSettingChanged(
            u"org.freedesktop.appearance"_s, u"color-scheme"_s, QDBusVariant(QVariant::fromValue(QDBusVariant(2U))));
        QCOMPARE(desktop.portalScheme(), std::optional<uint>(2U));
        QCOMPARE(desktop.scheme(SchemeChoice::System), ColorScheme::Light);

        // A value that is not a number forgets the portal's word: the palette decides again.
        gui::DesktopScheme dark(DarkWindow, false);
        dark.onSettingChanged(u"org.freedesktop.appearance"_s, u"color-scheme"_s, QDBusVariant(2U));
        QCOMPARE(dark.scheme(SchemeChoice::System), ColorScheme::Light);
        dark.onSettingChanged(u"org.freedesktop.appearance"_s, u"color-scheme"_s, QDBusVariant(u"dark"_s));
        QCOMPARE(dark.portalScheme(), std::nullopt);
        QCOMPARE(dark.scheme(SchemeChoice::System), ColorScheme::Dark);
    }

    void theViewMenuChoosesRemembersAndAppliesAtOnce()
    {
        gui_tests::Environment env;
        const QString ini = env.home.filePath(u"defaults.ini"_s);
        gui::UserDefaults defaults(ini);
        gui::DesktopScheme desktop(LightWindow, false);
        gui::AppDelegate app(gui::AppDelegateOptions{
            gui_tests::RecordingOpener().function(), &defaults, gui::StatusItemMode::Never, &desktop });
        gui::SchemeController &schemes = app.schemes();
        QCOMPARE(schemes.choice(), SchemeChoice::System);
        schemes.apply();
        gui::MainWindow window(app);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        auto *view = window.menuBar()->findChild<QMenu *>(u"viewMenu"_s);
        QVERIFY(view != nullptr);
        const QList<QAction *> items = view->actions();
        QCOMPARE(items.size(), 3);
        QCOMPARE(items[0]->text(), u"&Light"_s);
        QCOMPARE(items[1]->text(), u"&Dark"_s);
        QCOMPARE(items[2]->text(), u"&System"_s);
        for (QAction *item : items) {
            QVERIFY(item->isCheckable());
            QVERIFY(item->actionGroup() != nullptr && item->actionGroup()->isExclusive());
        }
        QVERIFY(items[2]->isChecked());

        // What the screens show before: the light theme on a light palette.
        window.viewController()->switchTabTo(u"systemJunkOverview"_s);
        auto *overview = window.viewController()->findChild<gui::OverviewViewController *>();
        QVERIFY(overview != nullptr);
        auto *title = overview->findChild<QLabel *>(u"overviewTitle"_s);
        QVERIFY(title != nullptr);
        const QColor lightTitle = title->palette().color(QPalette::WindowText);
        QCOMPARE(lightTitle, themeColor("module_title_font"));

        QSignalSpy restyled(gui::UIUtil::notifier(), &gui::ThemeNotifier::themeChanged);
        items[1]->trigger();
        QCOMPARE(restyled.size(), 1);
        QVERIFY(items[1]->isChecked());
        QVERIFY(!items[2]->isChecked());
        QCOMPARE(schemes.scheme(), ColorScheme::Dark);
        QCOMPARE(core::UIInfo::variant(), core::ThemeVariant::Dark);
        QVERIFY(core::UIInfo::themePath().ends_with("/SpruceUI-Dark.plist"));
        // Written at once, for the next start.
        QCOMPARE(QSettings(ini, QSettings::IniFormat).value(u"ColorScheme"_s).toString(), u"Dark"_s);
        // The palette and the screens already built follow, without a restart.
        QVERIFY(QApplication::palette().color(QPalette::Window).lightness() < 128);
        QCOMPARE(title->palette().color(QPalette::WindowText), themeColor("module_title_font"));
        QVERIFY(title->palette().color(QPalette::WindowText) != lightTitle);
        const QColor scanFill = gui::UIUtil::color(core::UIInfo::nsMyUI("scan_button_font").buttonColor());
        QVERIFY(overview->scanBTN()->styleSheet().contains(scanFill.name(QColor::HexArgb), Qt::CaseInsensitive));

        // System again: the key goes, and the light desktop shows.
        items[2]->trigger();
        QVERIFY(!QSettings(ini, QSettings::IniFormat).contains(u"ColorScheme"_s));
        QCOMPARE(schemes.scheme(), ColorScheme::Light);
        QCOMPARE(title->palette().color(QPalette::WindowText), lightTitle);

        // The next start reads the stored choice.
        schemes.setChoice(SchemeChoice::Light);
        gui::AppDelegate again(gui::AppDelegateOptions{
            gui_tests::RecordingOpener().function(), &defaults, gui::StatusItemMode::Never, &desktop });
        QCOMPARE(again.schemes().choice(), SchemeChoice::Light);
    }

    void underSystemTheLookFollowsTheDesktopLive()
    {
        gui_tests::Environment env;
        gui::UserDefaults defaults(env.home.filePath(u"defaults.ini"_s));
        gui::DesktopScheme desktop(LightWindow, false);
        gui::SchemeController schemes(defaults, desktop);
        schemes.apply();
        QSignalSpy changed(&schemes, &gui::SchemeController::schemeChanged);
        desktop.onSettingChanged(u"org.freedesktop.appearance"_s, u"color-scheme"_s, QDBusVariant(1U));
        QCOMPARE(changed.size(), 1);
        QCOMPARE(schemes.scheme(), ColorScheme::Dark);
        QCOMPARE(core::UIInfo::variant(), core::ThemeVariant::Dark);

        // A fixed choice stays put whatever the desktop does.
        schemes.setChoice(SchemeChoice::Dark);
        changed.clear();
        desktop.onSettingChanged(u"org.freedesktop.appearance"_s, u"color-scheme"_s, QDBusVariant(2U));
        QCOMPARE(changed.size(), 0);
        QCOMPARE(schemes.scheme(), ColorScheme::Dark);
        // Back to System: the desktop's (now light) look.
        schemes.setChoice(SchemeChoice::System);
        QCOMPARE(schemes.scheme(), ColorScheme::Light);
        QCOMPARE(core::UIInfo::variant(), core::ThemeVariant::Light);
    }

    void bothPalettesKeepTextReadableAndFramesVisible()
    {
        gui_tests::Environment env;
        for (const ColorScheme scheme : { ColorScheme::Light, ColorScheme::Dark }) {
            gui::UIUtil::applyScheme(scheme);
            const QPalette palette = QApplication::palette();
            const std::pair<QPalette::ColorRole, QPalette::ColorRole> text[] = {
                { QPalette::WindowText, QPalette::Window },
                { QPalette::ButtonText, QPalette::Button },
                { QPalette::Text, QPalette::Base },
                { QPalette::HighlightedText, QPalette::Highlight },
                { QPalette::ToolTipText, QPalette::ToolTipBase },
                { QPalette::PlaceholderText, QPalette::Base },
                { QPalette::Link, QPalette::Window },
            };
            for (const auto &[fore, back] : text) {
                const double ratio = std::min(
                    gui::UIUtil::contrast(palette.color(QPalette::Active, fore), palette.color(QPalette::Active, back)),
                    gui::UIUtil::contrast(
                        palette.color(QPalette::Inactive, fore), palette.color(QPalette::Inactive, back)));
                QVERIFY2(ratio >= 4.5,
                    qPrintable(u"%1: %2 on %3 is %4:1"_s.arg(scheme == ColorScheme::Dark ? u"dark"_s : u"light"_s)
                                   .arg(fore)
                                   .arg(back)
                                   .arg(ratio)));
            }
            // Check-box and frame outlines (drawn in the bevel shades) stand out from the page; so does disabled text.
            QVERIFY(gui::UIUtil::contrast(palette.color(QPalette::Dark), palette.color(QPalette::Window)) >= 3.0);
            QVERIFY(gui::UIUtil::contrast(
                        palette.color(QPalette::Disabled, QPalette::WindowText), palette.color(QPalette::Window))
                >= 3.0);
            QCOMPARE(palette.color(QPalette::Window).lightness() < 128, scheme == ColorScheme::Dark);
        }
        QCOMPARE(gui::UIUtil::contrast(Qt::black, Qt::white), 21.0);
        QCOMPARE(gui::UIUtil::contrast(Qt::white, Qt::white), 1.0);
    }

private:
    QPalette m_palette;
};

/// The settings portal over D-Bus, on the private session of
/// tests/gui/portal_test.sh, where a stand-in portal says "prefer dark".
class PortalTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void theDesktopsPortalIsReadAndFollowed()
    {
        const qint64 portal = qEnvironmentVariableIntValue("SPRUCE_FAKE_PORTAL_PID");
        if (portal <= 0) {
            QSKIP("needs the stand-in portal of tests/gui/portal_test.sh");
        }
        // The portal's word wins over a light palette...
        gui::DesktopScheme desktop(LightWindow, /*askPortal=*/true);
        QCOMPARE(desktop.portalScheme(), std::optional<uint>(1U));
        QCOMPARE(desktop.scheme(SchemeChoice::System), ColorScheme::Dark);
        QCOMPARE(desktop.scheme(SchemeChoice::Light), ColorScheme::Light);
        // ... and its change arrives while running.
        QSignalSpy changed(&desktop, &gui::DesktopScheme::changed);
        QCOMPARE(::kill(static_cast<pid_t>(portal), SIGUSR1), 0);
        QVERIFY(changed.wait(5000));
        QCOMPARE(desktop.portalScheme(), std::optional<uint>(2U));
        QCOMPARE(desktop.scheme(SchemeChoice::System), ColorScheme::Light);

        // Not asking leaves the palette to decide.
        gui::DesktopScheme unasked(DarkWindow, /*askPortal=*/false);
        QCOMPARE(unasked.portalScheme(), std::nullopt);
        QCOMPARE(unasked.scheme(SchemeChoice::System), ColorScheme::Dark);
    }
};

} // namespace

SPRUCE_GUI_TEST(SchemeTest)
SPRUCE_GUI_TEST(PortalTest)
#include "SchemeTest.moc"
