// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/LogSink.h"

#include <syslog.h>

namespace core::platform {

StreamLogSink::StreamLogSink(std::FILE *out, std::FILE *err)
    : m_out(out)
    , m_err(err)
{
}

void StreamLogSink::standardOutput(std::string_view line)
{
    std::lock_guard lock(m_mutex);
    std::fwrite(line.data(), 1, line.size(), m_out);
    std::fputc('\n', m_out);
    std::fflush(m_out);
}

void StreamLogSink::systemLog(std::string_view line)
{
    const std::string text(line);
    std::lock_guard lock(m_mutex);
    static const bool opened = [] {
        openlog("spruce", LOG_PID, LOG_USER);
        return true;
    }();
    (void)opened;
    syslog(LOG_NOTICE, "%s", text.c_str());
    std::fprintf(m_err, "%s\n", text.c_str());
    std::fflush(m_err);
}

void CapturingLogSink::standardOutput(std::string_view line)
{
    std::lock_guard lock(m_mutex);
    m_out.emplace_back(line);
}

void CapturingLogSink::systemLog(std::string_view line)
{
    std::lock_guard lock(m_mutex);
    m_sys.emplace_back(line);
}

std::vector<std::string> CapturingLogSink::stdoutLines() const
{
    std::lock_guard lock(m_mutex);
    return m_out;
}

std::vector<std::string> CapturingLogSink::systemLines() const
{
    std::lock_guard lock(m_mutex);
    return m_sys;
}

} // namespace core::platform
