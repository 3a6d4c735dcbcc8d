// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/ModuleInfo.h"
#include "platform/LogSink.h"
#include "platform/Services.h"

#include <QObject>
#include <QTemporaryDir>
#include <QUrl>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace gui_tests {

/// Every Qt Test class of the GUI suite, by name; tests/gui/GuiTestMain.cpp runs them.
using TestFactory = std::function<std::unique_ptr<QObject>()>;
std::map<std::string, TestFactory> &registry();

struct Registration
{
    Registration(const char *name, TestFactory factory) { registry().emplace(name, std::move(factory)); }
};

#define SPRUCE_GUI_TEST(Class)                                                                                         \
    static const gui_tests::Registration registration##Class(#Class, [] {                                              \
        return std::make_unique<Class>();                                                                              \
    });

/// The shipped resources in the source tree.
inline std::string sourceResources()
{
    return SPRUCE_SOURCE_DIR "/resources";
}

/// A test's surroundings: captured log, a private home folder, resources
/// searched in `overrides` first and then the shipped ones, and a small
/// five-module catalogue (the shipped tabs and images, short texts).
class Environment
{
public:
    explicit Environment(std::vector<std::string> resourceDirs = { sourceResources() });
    ~Environment();
    Environment(const Environment &) = delete;
    Environment &operator=(const Environment &) = delete;

    core::platform::CapturingLogSink log;
    QTemporaryDir home;

    /// Lines written to standard output (through the log sink) so far.
    std::vector<std::string> stdoutLines() const { return log.stdoutLines(); }

    static std::vector<core::Module> fiveModules();

private:
    std::unique_ptr<core::platform::ScopedServices> m_services;
};

/// Records the URLs handed to the desktop and answers with `result`.
struct RecordingOpener
{
    std::shared_ptr<std::vector<QUrl>> opened = std::make_shared<std::vector<QUrl>>();
    std::shared_ptr<bool> result = std::make_shared<bool>(true);

    std::function<bool(const QUrl &)> function() const
    {
        return [opened = opened, result = result](const QUrl &url) {
            opened->push_back(url);
            return *result;
        };
    }
};

/// tests/fixtures/<scenario>/, a recorded /proc and /sys tree.
inline std::string fixtureRoot(const std::string &scenario)
{
    return SPRUCE_SOURCE_DIR "/tests/fixtures/" + scenario + "/";
}

/// For its lifetime, the services in force with /proc and /sys read below
/// `root` and, when given, another dispatcher (a test's ManualDispatcher).
class ScopedSysRoot
{
public:
    explicit ScopedSysRoot(std::string root, core::platform::Dispatcher *dispatch = nullptr)
        : m_services(make(std::move(root), dispatch))
    {
    }

private:
    static core::platform::Services make(std::string root, core::platform::Dispatcher *dispatch)
    {
        core::platform::Services s = core::platform::services();
        s.sysRoot = root.ends_with('/') ? std::move(root) : std::move(root) + "/";
        if (dispatch != nullptr) {
            s.dispatch = dispatch;
        }
        return s;
    }
    core::platform::ScopedServices m_services;
};

/// Writes an XML property list with `body` inside <plist> to `path`.
void writePlist(const QString &path, const std::string &body);

} // namespace gui_tests
