// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Services.h"

#include <chrono>
#include <cstdio>

namespace core::platform {

namespace {

Services makeDefault()
{
    static StreamLogSink defaultSink(stdout, stderr);
    Services s;
    s.user = UserContext::fromSystem();
    s.now = [] {
        return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
            .count();
    };
    s.log = &defaultSink;
    s.resources = ResourceLocator::forExecutable();
    return s;
}

} // namespace

Services &services()
{
    static Services instance = makeDefault();
    return instance;
}

ScopedServices::ScopedServices(Services replacement)
    : m_saved(std::move(services()))
{
    services() = std::move(replacement);
}

ScopedServices::~ScopedServices()
{
    services() = std::move(m_saved);
}

} // namespace core::platform
