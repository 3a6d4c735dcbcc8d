// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/Battery.h"

#include "monitor/SysFiles.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string_view>

namespace core {

using namespace sysfiles;

namespace {

// Documentation/ABI/testing/sysfs-class-power
constexpr std::string_view PowerSupplyDir = "sys/class/power_supply/";

/// Types of supplies that power the machine from outside.
bool isExternalSupplyType(std::string_view type)
{
    static constexpr std::array<std::string_view, 9> Types = {
        "Mains", "USB", "USB_C", "USB_PD", "USB_PD_DRP", "USB_DCP", "USB_CDP", "USB_ACA", "Wireless"
    };
    return std::find(Types.begin(), Types.end(), type) != Types.end();
}

/// Handles are never reused within a process, so a stale copy is never mistaken for a fresh open.
std::uint32_t nextHandle()
{
    static std::atomic<std::uint32_t> counter{ 0 };
    std::uint32_t handle = ++counter;
    if (handle == 0) {
        handle = ++counter;
    }
    return handle;
}

int toInt(double value)
{
    if (!std::isfinite(value)) {
        return 0;
    }
    return static_cast<int>(std::clamp(value,
        static_cast<double>(std::numeric_limits<int>::min()),
        static_cast<double>(std::numeric_limits<int>::max())));
}

} // namespace

std::int32_t Battery::open()
{
    if (service != 0) {
        return kIOReturnStillOpen;
    }
    const std::string base = sysPath(PowerSupplyDir);
    for (const auto &name : listDirectory(base)) {
        const std::string dir = base + name + "/";
        if (readTrimmed(dir + "type") != "Battery") {
            continue;
        }
        // Mice, keyboards and pens publish their batteries with scope "Device".
        if (readTrimmed(dir + "scope") == "Device") {
            continue;
        }
        if (const auto present = readInteger(dir + "present"); present && *present == 0) {
            continue;
        }
        m_directory = dir;
        service = nextHandle();
        return kIOReturnSuccess;
    }
    logOnce("No Battery Service Found#" + base, "No Battery Service Found");
    return kIOReturnNotFound;
}

std::int32_t Battery::close()
{
    service = 0;
    m_directory.clear();
    return kIOReturnSuccess;
}

std::optional<long long> Battery::attribute(const char *name) const
{
    if (service == 0) {
        return std::nullopt;
    }
    return readInteger(m_directory + name);
}

std::string Battery::status() const
{
    if (service == 0) {
        return {};
    }
    return readTrimmed(m_directory + "status").value_or(std::string());
}

bool Battery::isCharged() const
{
    return status() == "Full";
}

bool Battery::isCharging() const
{
    return status() == "Charging";
}

bool Battery::isACPowered() const
{
    if (service == 0) {
        return false;
    }
    const std::string base = sysPath(PowerSupplyDir);
    bool sawExternal = false;
    for (const auto &name : listDirectory(base)) {
        const std::string dir = base + name + "/";
        const auto type = readTrimmed(dir + "type");
        if (!type || !isExternalSupplyType(*type) || readTrimmed(dir + "scope") == "Device") {
            continue;
        }
        sawExternal = true;
        if (readInteger(dir + "online") == 1) {
            return true;
        }
    }
    if (sawExternal) {
        return false;
    }
    // No adapter is published (some firmwares): a battery that is not discharging is on external power.
    const std::string state = status();
    return state == "Charging" || state == "Full" || state == "Not charging";
}

int Battery::capacityMah(const char *suffix) const
{
    if (service == 0) {
        return 0;
    }
    const std::string s(suffix);
    if (const auto charge = attribute(("charge_" + s).c_str())) {
        return toInt(static_cast<double>(*charge) / 1000.0); // µAh
    }
    const auto energy = attribute(("energy_" + s).c_str()); // µWh
    if (!energy) {
        logOnce(
            m_directory + "charge_" + s, "Battery reports no charge_" + s + " or energy_" + s + " in " + m_directory);
        return 0;
    }
    auto voltage = attribute("voltage_min_design"); // µV
    if (!voltage || *voltage <= 0) {
        voltage = attribute("voltage_now");
    }
    if (!voltage || *voltage <= 0) {
        return 0;
    }
    // µWh / µV = Ah; x 1000 = mAh.
    return toInt(static_cast<double>(*energy) / static_cast<double>(*voltage) * 1000.0);
}

int Battery::currentCapacity() const
{
    return capacityMah("now");
}

int Battery::maxCapactiy() const
{
    return capacityMah("full");
}

int Battery::designCapacity() const
{
    return capacityMah("full_design");
}

int Battery::cycleCount() const
{
    return toInt(static_cast<double>(attribute("cycle_count").value_or(0)));
}

int Battery::designCycleCount() const
{
    return 0;
}

int Battery::timeRemaining() const
{
    if (service == 0) {
        return 0;
    }
    const std::string state = status();
    const bool discharging = state == "Discharging";
    const bool charging = state == "Charging";
    if (!discharging && !charging) {
        return 0;
    }
    if (const auto seconds = attribute(discharging ? "time_to_empty_now" : "time_to_full_now")) {
        return toInt(static_cast<double>(*seconds) / 60.0);
    }
    // Estimate from the present rate. Some fuel gauges report the discharge current as negative.
    auto estimate = [&](const char *now, const char *full, const char *rate) -> std::optional<int> {
        const auto amount = attribute(now);
        const auto flow = attribute(rate);
        if (!amount || !flow) {
            return std::nullopt;
        }
        if (*flow == 0) {
            return 0;
        }
        double left = static_cast<double>(*amount);
        if (charging) {
            const auto capacity = attribute(full);
            if (!capacity) {
                return std::nullopt;
            }
            // In floating point: the attributes are untrusted 64-bit numbers and may be anything.
            left = std::max(0.0, static_cast<double>(*capacity) - static_cast<double>(*amount));
        }
        return toInt(left / std::abs(static_cast<double>(*flow)) * 60.0);
    };
    if (const auto minutes = estimate("charge_now", "charge_full", "current_now")) {
        return *minutes;
    }
    return estimate("energy_now", "energy_full", "power_now").value_or(0);
}

double Battery::charge() const
{
    const int max = maxCapactiy();
    if (max <= 0) {
        // 0/0 would be NaN, and the battery graph turns the charge into a bar count.
        return static_cast<double>(std::clamp<long long>(attribute("capacity").value_or(0), 0, 100));
    }
    return chargeFrom(currentCapacity(), max);
}

std::string Battery::timeRemainingFormatted() const
{
    return formatTimeRemaining(timeRemaining());
}

double Battery::temperature(TemperatureUnit unit) const
{
    // sysfs "temp" is in tenths of a degree Celsius.
    const auto tenths = attribute("temp");
    if (service != 0 && !tenths) {
        logOnce(m_directory + "temp", "Battery reports no temperature in " + m_directory);
    }
    return temperatureFrom(static_cast<double>(tenths.value_or(0)) * 10.0, unit);
}

double Battery::chargeFrom(int current, int max)
{
    if (max <= 0) {
        return 0.0;
    }
    return std::floor(static_cast<double>(current) / static_cast<double>(max) * 100.0);
}

std::string Battery::formatTimeRemaining(int minutes)
{
    minutes = std::max(minutes, 0);
    const int hours = minutes / 60;
    char text[32];
    std::snprintf(text, sizeof text, "%d:%02d", hours, minutes - hours * 60);
    return text;
}

double Battery::temperatureFrom(double hundredthsCelsius, TemperatureUnit unit)
{
    const double c = hundredthsCelsius / 100.0;
    switch (unit) {
    case TemperatureUnit::Celsius:
        return std::ceil(c);
    case TemperatureUnit::Fahrenheit:
        return std::ceil(c * 1.8 + 32);
    case TemperatureUnit::Kelvin:
        break;
    }
    return std::ceil(c + 273.15);
}

} // namespace core
