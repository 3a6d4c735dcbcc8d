// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace core {

/// The machine's main battery, read from the kernel's power-supply class
/// (services().sysRoot + "sys/class/power_supply"). Units of the sysfs ABI
/// (Documentation/ABI/testing/sysfs-class-power) are converted to the ones
/// the monitors show: mAh, minutes, hundredths of a degree Celsius.
///
/// A plain value: `open` picks the battery and stores a non-zero handle in
/// `service`, `close` forgets it. Every property is a fresh read of one
/// file; nothing is cached. A property of a closed Battery, or one the
/// battery does not publish, reads 0 / false (one system-log line per
/// missing file and process). Not shared between threads; never throws.
class Battery
{
public:
    /// Status codes of open() and close(), as the monitors expect them.
    static constexpr std::int32_t kIOReturnSuccess = 0; // NOLINT
    static constexpr std::int32_t kIOReturnNotFound = static_cast<std::int32_t>(0xE00002F0); // NOLINT
    static constexpr std::int32_t kIOReturnStillOpen = static_cast<std::int32_t>(0xE00002D2); // NOLINT

    enum class TemperatureUnit { Celsius, Fahrenheit, Kelvin };

    /// Handle of the open battery; 0 while not open.
    std::uint32_t service = 0;

    /// Chooses the first supply (by name) of type "Battery" that is not a
    /// peripheral's (scope "Device") and is present. Returns
    /// kIOReturnStillOpen and changes nothing when already open;
    /// kIOReturnNotFound (writing "No Battery Service Found" to the system
    /// log, once per process) when there is no battery; else kIOReturnSuccess.
    std::int32_t open();

    /// Forgets the battery; `service` becomes 0. Always kIOReturnSuccess.
    std::int32_t close();

    bool isCharged() const; // status "Full"
    bool isCharging() const; // status "Charging"
    bool isACPowered() const; // a mains/USB supply is online (else: the battery is not discharging)

    int currentCapacity() const; // mAh
    int maxCapactiy() const; // NOLINT(readability-identifier-naming) mAh, at full charge now
    int designCapacity() const; // mAh, as designed
    int cycleCount() const;
    int designCycleCount() const; // no Linux source: 0
    int timeRemaining() const; // minutes to empty (discharging) or to full (charging); 0 otherwise

    /// floor(currentCapacity / maxCapactiy x 100). When the maximum is not
    /// known (0), the kernel's own percentage ("capacity"), else 0 — never NaN.
    double charge() const;

    /// timeRemaining() as "%d:%02d" (65 minutes: "1:05").
    std::string timeRemainingFormatted() const;

    /// The battery's temperature rounded up to a whole degree; from 0 when
    /// the battery reports none.
    double temperature(TemperatureUnit unit = TemperatureUnit::Celsius) const;

    /// The maths behind charge(), timeRemainingFormatted() and temperature().
    static double chargeFrom(int current, int max);
    static std::string formatTimeRemaining(int minutes);
    static double temperatureFrom(double hundredthsCelsius, TemperatureUnit unit);

private:
    /// An integer attribute of the open battery; nullopt when closed or absent.
    std::optional<long long> attribute(const char *name) const;
    /// A capacity attribute in mAh from charge_<suffix> (µAh) or energy_<suffix> (µWh).
    int capacityMah(const char *suffix) const;
    std::string status() const;

    std::string m_directory; // the open battery's sysfs folder, with a trailing "/"
};

} // namespace core
