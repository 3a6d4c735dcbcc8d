// SPDX-License-Identifier: GPL-3.0-or-later
// The `spruce` desktop application.

#include "SpruceVersion.h"
#include "engine/ModuleInfo.h"
#include "platform/ColorScheme.h"
#include "platform/LogSink.h"
#include "platform/QtDispatcher.h"
#include "platform/Services.h"
#include "platform/SingleInstance.h"
#include "sysjunk/Tools.h"
#include "theme/SchemeController.h"
#include "ui/AppDelegate.h"
#include "ui/MainWindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMessageBox>
#include <QTimer>
#include <QWindow>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>

using namespace Qt::StringLiterals;

namespace {

/// With SPRUCE_STARTUP_PROBE set, reports on stderr when the main window is
/// first on screen ("spruce: window shown after N ms", counted from the
/// start of main), and with the value "quit" ends the application then.
/// Used by bench/gui_startup_bench.sh.
class StartupProbe : public QObject
{
public:
    StartupProbe(QWidget *window, const QElapsedTimer &sinceStart, bool quit)
        : m_sinceStart(sinceStart)
        , m_quit(quit)
    {
        window->winId(); // makes the QWindow
        window->windowHandle()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *window = qobject_cast<QWindow *>(watched);
        if (!m_reported && event->type() == QEvent::Expose && window != nullptr && window->isExposed()) {
            m_reported = true;
            // The expose paints the window; report once that paint has been delivered.
            QTimer::singleShot(0, this, [this] {
                std::fprintf(
                    stderr, "spruce: window shown after %lld ms\n", static_cast<long long>(m_sinceStart.elapsed()));
                std::fflush(stderr);
                if (m_quit) {
                    QCoreApplication::quit();
                }
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    const QElapsedTimer &m_sinceStart;
    bool m_quit;
    bool m_reported = false;
};

constexpr const char *UsageText = R"(usage: spruce [--resources DIR]

Spruce: disk cleaner and system monitor.

  --resources DIR  read the catalogue, theme, settings and images from DIR
  -h, --help       show this help
  -v, --version    show the version

Without a desktop session, use spruce-cli.
)";

/// --help and --version work without a display; anything else needs one.
/// Returns an exit code when main should stop before starting Qt.
std::optional<int> handleEarlyArguments(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(UsageText, stdout);
            return EXIT_SUCCESS;
        }
        if (arg == "--version" || arg == "-v") {
            std::printf("spruce %s\n", SPRUCE_VERSION);
            return EXIT_SUCCESS;
        }
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY")
        && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        std::fputs("spruce: no display (neither DISPLAY nor WAYLAND_DISPLAY is set); on a machine without a "
                   "desktop, use spruce-cli\n",
            stderr);
        return EXIT_FAILURE;
    }
    return std::nullopt;
}

} // namespace

int main(int argc, char **argv)
{
    QElapsedTimer sinceStart;
    sinceStart.start();
    if (const auto code = handleEarlyArguments(argc, argv)) {
        return *code;
    }

    QApplication app(argc, argv);
    // The desktop's own palette, before Spruce sets the theme's: how dark the
    // desktop is when its settings portal does not say.
    const QColor desktopWindow = QApplication::palette().color(QPalette::Window);
    QApplication::setApplicationName(u"Spruce"_s);
    QApplication::setOrganizationName(u"Spruce"_s);
    QApplication::setApplicationVersion(QStringLiteral(SPRUCE_VERSION));
    QGuiApplication::setDesktopFileName(u"spruce"_s);

    QCommandLineParser parser;
    const QCommandLineOption resourcesOption(u"resources"_s, u"Read resources from <dir>."_s, u"dir"_s);
    parser.addOption(resourcesOption);
    const QCommandLineOption sysrootOption(
        u"sysroot"_s, u"Take the system junk from below <dir> instead of / (as spruce-cli --sysroot)."_s, u"dir"_s);
    parser.addOption(sysrootOption);
    const QCommandLineOption toolsOption(
        u"tools"_s, u"Look for journalctl, snap and flatpak in <dirs> (\":\" between them)."_s, u"dirs"_s);
    parser.addOption(toolsOption);
    parser.process(app);

    namespace platform = core::platform;
    // Main-queue jobs are posted to this object; it lives until main returns.
    QObject mainContext;
    gui::QtDispatcher dispatcher(&mainContext);
    static platform::StreamLogSink sink(stdout, stderr);
    platform::Services services = platform::services();
    services.dispatch = &dispatcher;
    services.log = &sink;
    services.resources = platform::ResourceLocator::forExecutable(parser.value(resourcesOption).toStdString());
    if (const QString root = parser.value(sysrootOption); !root.isEmpty()) {
        const QFileInfo folder(root);
        if (!folder.isAbsolute() || !folder.isDir()) {
            std::fprintf(stderr, "spruce: --sysroot must name an existing folder by its absolute path\n");
            return EXIT_FAILURE;
        }
        services.sysRoot = QDir::cleanPath(root).toStdString();
        if (services.sysRoot.back() != '/') {
            services.sysRoot += '/';
        }
    }
    if (const QString tools = parser.value(toolsOption); !tools.isEmpty()) {
        services.toolPath = core::sysjunk::splitSearchPath(tools.toStdString());
    }
    services.adminHelper = platform::adminHelperForExecutable();
    platform::ScopedServices installed(std::move(services));

    // A second launch brings the running Spruce forward instead of starting another.
    gui::SingleInstance instance;
    if (instance.tryHandOver()) {
        return EXIT_SUCCESS;
    }

    // Check the catalogue here, where a broken installation can be explained in a window.
    const auto cataloguePath =
        platform::services().resources.path(std::string(core::ModuleInfo::bundlename) + "Modules", "plist");
    const auto catalogue = cataloguePath
        ? core::ModuleInfo::loadCatalogue(*cataloguePath, platform::services().user.homeDir)
        : core::Result<std::vector<core::Module>>(
            core::Error{ 0, {}, "the module catalogue SpruceModules.plist was not found" });
    if (!catalogue) {
        const QString message = QString::fromStdString(catalogue.error().message);
        std::fprintf(stderr, "spruce: %s\n", qPrintable(message));
        QMessageBox::critical(nullptr, u"Spruce"_s, u"Spruce cannot start: %1"_s.arg(message));
        return 3;
    }

    // The look chosen in View (or the desktop's), with the palette built from
    // its theme file, so every page, menu and dialog agrees.
    gui::DesktopScheme desktopScheme(desktopWindow, /*askPortal=*/true);
    gui::AppDelegateOptions delegateOptions;
    delegateOptions.desktopScheme = &desktopScheme;
    gui::AppDelegate delegate(std::move(delegateOptions));
    delegate.schemes().apply();
    gui::MainWindow window(delegate);
    if (instance.listen()) {
        QObject::connect(
            &instance, &gui::SingleInstance::reopenRequested, &delegate, &gui::AppDelegate::handleReopenRequest);
    }
    std::unique_ptr<StartupProbe> probe;
    if (const QByteArray mode = qgetenv("SPRUCE_STARTUP_PROBE"); !mode.isEmpty()) {
        probe = std::make_unique<StartupProbe>(&window, sinceStart, mode == "quit");
    }
    window.show();
    delegate.applicationDidFinishLaunching();

    const int code = QApplication::exec();
    // Scans and cleans may still be running on the pool; the process ends
    // without waiting for them, as it would without a pool.
    if (dispatcher.pool().activeThreadCount() > 0) {
        std::fflush(stdout);
        std::fflush(stderr);
        std::_Exit(code);
    }
    return code;
}
