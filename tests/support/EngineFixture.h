// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "TempDir.h"
#include "engine/ModuleInfo.h"
#include "format/FileUrl.h"
#include "platform/LogSink.h"
#include "platform/Services.h"
#include "support/ManualDispatcher.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace testing_support {

/// A test with a private home folder, a capturing log, a ManualDispatcher
/// and a catalogue of its own (installed with setModules()).
class EngineFixture : public ::testing::Test
{
protected:
    EngineFixture()
        : m_services(makeServices())
    {
    }

    core::platform::Services makeServices()
    {
        core::platform::Services s;
        s.dispatch = &dispatcher;
        s.log = &log;
        s.user = core::platform::UserContext{ "ann", tmp.path() };
        s.now = [] {
            return std::int64_t{ 1'800'000'000 };
        };
        return s;
    }

    static core::FolderUrl location(const std::string &path, const std::string &type = "Folder", int checked = 0)
    {
        core::FolderUrl url;
        url.url = core::format::fileUrlFromPath(path, type != "File");
        url.type = type;
        url.checked = checked;
        return url;
    }

    static core::Category category(const std::string &title, const std::string &type = "Folder")
    {
        core::Category c;
        c.title = title;
        c.type = type;
        c.kind = core::categoryKindOf(type);
        return c;
    }

    /// Installs a five-module catalogue whose module `index` has `categories`.
    static void setModules(int index, std::vector<core::Category> categories)
    {
        std::vector<core::Module> modules(5);
        const char *tabs[] = { "dashboard", "systemJunk", "applicationJunk", "largeAndOldFile", "moreTool" };
        for (std::size_t m = 0; m < modules.size(); ++m) {
            modules[m].title = tabs[m];
            modules[m].tab = tabs[m];
        }
        modules.at(static_cast<std::size_t>(index)).categories = std::move(categories);
        core::ModuleInfo::setModulesForTesting(std::move(modules));
    }

    static core::Category &categoryAt(int module, int index)
    {
        return core::ModuleInfo::modules()
            .at(static_cast<std::size_t>(module))
            .categories.at(static_cast<std::size_t>(index));
    }

    TempDir tmp;
    ManualDispatcher dispatcher;
    core::platform::CapturingLogSink log;

private:
    core::platform::ScopedServices m_services;
};

} // namespace testing_support
