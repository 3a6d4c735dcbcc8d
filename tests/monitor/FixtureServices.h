// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/LogSink.h"
#include "platform/Services.h"

#include <cstdint>
#include <string>

namespace testing_support {

/// tests/fixtures/<scenario>/ as a sysRoot (with its trailing "/").
inline std::string fixtureRoot(const std::string &scenario)
{
    return std::string(SPRUCE_SOURCE_DIR) + "/tests/fixtures/" + scenario + "/";
}

/// Installs services whose /proc and /sys live below `root`, with a fixed
/// clock and a capturing log, for the lifetime of the object.
class FixtureServices
{
public:
    explicit FixtureServices(
        const std::string &root, std::int64_t now = 0, core::platform::Dispatcher *dispatch = nullptr)
        : m_scoped(make(root, now, dispatch, &log))
    {
    }

    core::platform::CapturingLogSink log;

private:
    static core::platform::Services make(
        std::string root, std::int64_t now, core::platform::Dispatcher *dispatch, core::platform::LogSink *sink)
    {
        core::platform::Services s = core::platform::services();
        if (!root.ends_with('/')) {
            root += '/';
        }
        s.sysRoot = std::move(root);
        s.now = [now] {
            return now;
        };
        s.log = sink;
        s.dispatch = dispatch;
        return s;
    }

    core::platform::ScopedServices m_scoped;
};

} // namespace testing_support
