// SPDX-License-Identifier: GPL-3.0-or-later
#include "monitor/Battery.h"

#include "monitor/FixtureServices.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <limits>

using core::Battery;
using testing_support::fixtureRoot;
using testing_support::FixtureServices;
using testing_support::TempDir;

namespace {

void writeText(const TempDir &dir, const std::string &relative, const std::string &text)
{
    dir.writeFile(relative, 0);
    std::ofstream(dir / relative, std::ios::binary) << text;
}

std::size_t countLines(const std::vector<std::string> &lines, const std::string &line)
{
    return static_cast<std::size_t>(std::count(lines.begin(), lines.end(), line));
}

} // namespace

TEST(BatteryMaths, ChargeTimeAndTemperature)
{
    EXPECT_EQ(Battery::chargeFrom(4000, 5000), 80.0);
    EXPECT_EQ(Battery::chargeFrom(4999, 5000), 99.0); // rounded down, never up to 100
    EXPECT_EQ(Battery::chargeFrom(10, 0), 0.0);

    EXPECT_EQ(Battery::formatTimeRemaining(0), "0:00");
    EXPECT_EQ(Battery::formatTimeRemaining(65), "1:05");
    EXPECT_EQ(Battery::formatTimeRemaining(600), "10:00");

    using Unit = Battery::TemperatureUnit;
    EXPECT_EQ(Battery::temperatureFrom(3012, Unit::Celsius), 31.0);
    EXPECT_EQ(Battery::temperatureFrom(3012, Unit::Fahrenheit), 87.0); // 86.216 rounded up
    EXPECT_EQ(Battery::temperatureFrom(3012, Unit::Kelvin), 304.0); // 303.27 rounded up
}

TEST(BatteryFixtures, LaptopDischargingWithEnergyFiles)
{
    FixtureServices services(fixtureRoot("laptop-discharging"));
    Battery battery;
    ASSERT_EQ(battery.open(), Battery::kIOReturnSuccess);
    EXPECT_NE(battery.service, 0U);
    EXPECT_FALSE(battery.isCharged());
    EXPECT_FALSE(battery.isCharging());
    EXPECT_FALSE(battery.isACPowered()); // the "AC" supply is offline
    // µWh / voltage_min_design (11.4 V): 38 Wh = 3333 mAh, 50 Wh = 4385 mAh, 52 Wh = 4561 mAh.
    EXPECT_EQ(battery.currentCapacity(), 3333);
    EXPECT_EQ(battery.maxCapactiy(), 4385);
    EXPECT_EQ(battery.designCapacity(), 4561);
    EXPECT_EQ(battery.cycleCount(), 212);
    EXPECT_EQ(battery.designCycleCount(), 0);
    EXPECT_EQ(battery.charge(), 76.0);
    EXPECT_EQ(battery.timeRemaining(), 300); // energy_now / power_now: 38 Wh at 7.6 W
    EXPECT_EQ(battery.timeRemainingFormatted(), "5:00");
    // No temp file: 0 degrees and one log line, however often it is asked.
    EXPECT_EQ(battery.temperature(), 0.0);
    EXPECT_EQ(battery.temperature(), 0.0);
    EXPECT_EQ(services.log.systemLines().size(), 1U);
}

TEST(BatteryFixtures, LaptopChargingWithChargeFiles)
{
    FixtureServices services(fixtureRoot("laptop-charging"));
    Battery battery;
    ASSERT_EQ(battery.open(), Battery::kIOReturnSuccess);
    EXPECT_TRUE(battery.isCharging());
    EXPECT_FALSE(battery.isCharged());
    EXPECT_TRUE(battery.isACPowered());
    EXPECT_EQ(battery.currentCapacity(), 3000);
    EXPECT_EQ(battery.maxCapactiy(), 5000);
    EXPECT_EQ(battery.designCapacity(), 5200);
    EXPECT_EQ(battery.cycleCount(), 87);
    EXPECT_EQ(battery.charge(), 60.0);
    // The 2 Ah still to fill at 1.25 A; the 3 Ah already in would give 2:24.
    EXPECT_EQ(battery.timeRemaining(), 96);
    EXPECT_EQ(battery.timeRemainingFormatted(), "1:36");
    // temp 301 tenths: 30.1 C
    EXPECT_EQ(battery.temperature(), 31.0);
    EXPECT_EQ(battery.temperature(Battery::TemperatureUnit::Fahrenheit), 87.0);
    EXPECT_EQ(battery.temperature(Battery::TemperatureUnit::Kelvin), 304.0);
}

TEST(BatteryOpen, SecondOpenKeepsTheHandleAndCloseForgetsIt)
{
    FixtureServices services(fixtureRoot("laptop-charging"));
    Battery battery;
    ASSERT_EQ(battery.open(), Battery::kIOReturnSuccess);
    const auto handle = battery.service;
    EXPECT_EQ(battery.open(), Battery::kIOReturnStillOpen);
    EXPECT_EQ(battery.service, handle);

    EXPECT_EQ(battery.close(), Battery::kIOReturnSuccess);
    EXPECT_EQ(battery.service, 0U);
    EXPECT_EQ(battery.currentCapacity(), 0);
    EXPECT_FALSE(battery.isCharging());
    EXPECT_EQ(battery.charge(), 0.0);
}

TEST(BatteryOpen, NoBatteryIsNotFoundAndLoggedOnce)
{
    // The desktop only has a mouse battery (scope Device); the VM has no power supplies at all.
    for (const char *scenario : { "desktop-no-battery", "vm" }) {
        SCOPED_TRACE(scenario);
        FixtureServices services(fixtureRoot(scenario));
        Battery battery;
        EXPECT_EQ(battery.open(), Battery::kIOReturnNotFound);
        EXPECT_EQ(battery.open(), Battery::kIOReturnNotFound);
        EXPECT_EQ(battery.service, 0U);
        EXPECT_EQ(battery.charge(), 0.0);
        EXPECT_EQ(battery.timeRemainingFormatted(), "0:00");
        EXPECT_EQ(countLines(services.log.systemLines(), "No Battery Service Found"), 1U);
    }
}

TEST(BatteryOpen, UnknownFullCapacityFallsBackToThePercentage)
{
    FixtureServices services(fixtureRoot("malformed"));
    Battery battery;
    ASSERT_EQ(battery.open(), Battery::kIOReturnSuccess);
    EXPECT_EQ(battery.maxCapactiy(), 0);
    EXPECT_EQ(battery.charge(), 57.0); // not 123/0
    EXPECT_EQ(battery.timeRemaining(), 0); // a zero current gives no estimate
    EXPECT_EQ(battery.cycleCount(), 0); // "lots"
}

TEST(BatteryEstimates, RemainingTimeSourcesAndAdapterlessFirmware)
{
    TempDir root;
    FixtureServices services(root.path());
    const std::string bat = "sys/class/power_supply/BAT0/";
    writeText(root, bat + "type", "Battery\n");
    writeText(root, bat + "status", "Discharging\n");
    writeText(root, bat + "charge_now", "3000000\n");
    writeText(root, bat + "charge_full", "4000000\n");
    writeText(root, bat + "current_now", "-1500000\n"); // some fuel gauges report discharge as negative
    Battery battery;
    ASSERT_EQ(battery.open(), Battery::kIOReturnSuccess);
    EXPECT_EQ(battery.timeRemaining(), 120);
    EXPECT_FALSE(battery.isACPowered());

    writeText(root, bat + "time_to_empty_now", "5400\n");
    EXPECT_EQ(battery.timeRemaining(), 90);

    // Without any published adapter, a battery that is not discharging runs on external power.
    writeText(root, bat + "status", "Not charging\n");
    EXPECT_TRUE(battery.isACPowered());
    EXPECT_EQ(battery.timeRemaining(), 0);

    // Untrusted numbers: a full charge of INT64_MIN while charging left nothing to fill, not 2^63.
    writeText(root, bat + "status", "Charging\n");
    writeText(root, bat + "charge_full", "-9223372036854775808\n");
    writeText(root, bat + "current_now", "1000\n");
    EXPECT_EQ(battery.timeRemaining(), 0);
    writeText(root, bat + "charge_full", "9223372036854775807\n");
    writeText(root, bat + "charge_now", "-9223372036854775808\n");
    EXPECT_EQ(battery.timeRemaining(), std::numeric_limits<int>::max()) << "clamped, not wrapped";

    // A removed battery (present 0) is not chosen.
    writeText(root, bat + "present", "0\n");
    Battery other;
    EXPECT_EQ(other.open(), Battery::kIOReturnNotFound);
}
