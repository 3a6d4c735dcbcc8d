// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace core::platform {

/// Where the engine's two kinds of diagnostic line go: "standard output"
/// lines (for example "  is not deletable!") and "system log" lines (for
/// example "Localization clean is not support in current version").
/// Implementations are thread-safe: scan jobs write from worker threads.
class LogSink
{
public:
    virtual ~LogSink() = default;
    virtual void standardOutput(std::string_view line) = 0;
    virtual void systemLog(std::string_view line) = 0;
};

/// Writes standard-output lines to `out` and system-log lines to syslog
/// (LOG_NOTICE; dropped silently where no logger runs) and to `err`.
/// The GUI passes stdout; the command-line tool passes stderr for both so
/// that its stdout carries results only.
class StreamLogSink final : public LogSink
{
public:
    StreamLogSink(std::FILE *out, std::FILE *err);
    void standardOutput(std::string_view line) override;
    void systemLog(std::string_view line) override;

private:
    std::mutex m_mutex;
    std::FILE *m_out; // not owned
    std::FILE *m_err; // not owned
};

/// Keeps every line in memory, for tests.
class CapturingLogSink final : public LogSink
{
public:
    void standardOutput(std::string_view line) override;
    void systemLog(std::string_view line) override;
    std::vector<std::string> stdoutLines() const;
    std::vector<std::string> systemLines() const;

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_out;
    std::vector<std::string> m_sys;
};

} // namespace core::platform
