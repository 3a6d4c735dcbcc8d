// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the GUI's Qt Test classes: `spruce_gui_tests CLASS [QTest options]`,
// or every class when none is named.
//
// The process gets a home of its own before anything else runs: GIO reads
// $HOME and $XDG_DATA_HOME once per process (the Trash tests move files to
// $XDG_DATA_HOME/Trash), and the user settings live under
// $XDG_CONFIG_HOME. The user's real Trash and settings are never touched.

#include "GuiTestSupport.h"

#include <QApplication>
#include <QFile>
#include <QTest>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace gui_tests {

std::map<std::string, TestFactory> &registry()
{
    static std::map<std::string, TestFactory> tests;
    return tests;
}

Environment::Environment(std::vector<std::string> resourceDirs)
{
    core::platform::Services s = core::platform::services();
    s.log = &log;
    s.user = core::platform::UserContext{ "tester", home.path().toStdString() };
    s.resources = core::platform::ResourceLocator(std::move(resourceDirs));
    m_services = std::make_unique<core::platform::ScopedServices>(std::move(s));
    core::ModuleInfo::setModulesForTesting(fiveModules());
}

Environment::~Environment() = default;

std::vector<core::Module> Environment::fiveModules()
{
    const char *rows[][3] = {
        { "Dashboard", "Dashboard", "dashboard" },
        { "System Junk", "SystemJunk", "systemJunk" },
        { "Application Junk", "ApplicationJunk", "applicationJunk" },
        { "Large and Old Files", "LargeAndOldFiles", "largeAndOldFile" },
        { "More Tools", "MoreTools", "moreTool" },
    };
    std::vector<core::Module> modules;
    for (const auto &row : rows) {
        core::Module m;
        m.title = row[0];
        m.image = row[1];
        m.tab = row[2];
        m.description = std::string("About ") + row[0];
        modules.push_back(std::move(m));
    }
    return modules;
}

void writePlist(const QString &path, const std::string &body)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        qFatal("cannot write %s", qPrintable(path));
    }
    file.write("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n");
    file.write(body.data(), static_cast<qint64>(body.size()));
    file.write("\n</plist>\n");
}

} // namespace gui_tests

namespace {

/// A private home for the whole process, removed at exit.
class ProcessHome
{
public:
    ProcessHome()
    {
        const char *tmp = std::getenv("TMPDIR"); // NOLINT(concurrency-mt-unsafe)
        std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/spruce-gui-home-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::perror("spruce_gui_tests: mkdtemp");
            std::exit(2); // NOLINT(concurrency-mt-unsafe)
        }
        m_path = pattern;
        ::setenv("HOME", m_path.c_str(), 1); // NOLINT(concurrency-mt-unsafe)
        ::setenv("XDG_DATA_HOME", (m_path + "/.local/share").c_str(), 1); // NOLINT(concurrency-mt-unsafe)
        ::setenv("XDG_CONFIG_HOME", (m_path + "/.config").c_str(), 1); // NOLINT(concurrency-mt-unsafe)
    }
    ~ProcessHome()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    ProcessHome(const ProcessHome &) = delete;
    ProcessHome &operator=(const ProcessHome &) = delete;

private:
    std::string m_path;
};

} // namespace

int main(int argc, char **argv)
{
    const ProcessHome home;
    QApplication app(argc, argv);
    auto &tests = gui_tests::registry();
    std::vector<char *> args(argv, argv + argc);
    std::vector<std::string> selected;
    if (argc > 1 && tests.count(argv[1]) == 1) {
        selected.emplace_back(argv[1]);
        args.erase(args.begin() + 1);
    } else {
        for (const auto &[name, factory] : tests) {
            selected.push_back(name);
        }
    }
    int failures = 0;
    for (const std::string &name : selected) {
        const std::unique_ptr<QObject> test = tests.at(name)();
        failures += QTest::qExec(test.get(), static_cast<int>(args.size()), args.data());
    }
    return failures == 0 ? 0 : 1;
}
