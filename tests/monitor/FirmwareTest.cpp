// SPDX-License-Identifier: GPL-3.0-or-later
// What the firmware and the kernel name the machine: maker, product and processor.
#include "monitor/FixtureServices.h"
#include "monitor/System.h"

#include <gtest/gtest.h>

using core::FirmwareInfo;
using core::System;
using testing_support::fixtureRoot;
using testing_support::FixtureServices;

TEST(SystemFirmware, MakerGoesWithTheNameItBelongsTo)
{
    struct Case
    {
        const char *scenario;
        FirmwareInfo expected;
    };
    const Case cases[] = {
        // product_name is a type number; the marketing name is in product_version.
        { "laptop-charging", { "LENOVO", "20XWCTO1WW", "ThinkPad X1 Carbon Gen 9" } },
        { "laptop-discharging", { "Dell Inc.", "XPS 13 9310", "" } },
        // Placeholder product and system maker: the board and its maker stand in.
        { "desktop-no-battery", { "ASUSTeK COMPUTER INC.", "PRIME B450M-A", "" } },
        { "qemu-q35", { "QEMU", "Standard PC (Q35 + ICH9, 2009)", "pc-q35-7.2" } },
        // Device tree: a name without a maker.
        { "arm-board", { "", "Raspberry Pi 4 Model B Rev 1.4", "" } },
        { "vm", { "", "", "" } },
        { "malformed", { "", "", "" } },
    };
    for (const auto &c : cases) {
        FixtureServices services(fixtureRoot(c.scenario));
        const FirmwareInfo info = System::firmwareInfo();
        EXPECT_EQ(info, c.expected) << c.scenario << ": " << info.vendor << " / " << info.product << " / "
                                    << info.productVersion;
        EXPECT_EQ(info.product, System::model()) << c.scenario;
    }
}

TEST(SystemFirmware, ProcessorNameFromCpuinfo)
{
    {
        FixtureServices services(fixtureRoot("laptop-charging"));
        EXPECT_EQ(System::processorModel(), "11th Gen Intel(R) Core(TM) i7-1165G7 @ 2.80GHz");
    }
    {
        FixtureServices services(fixtureRoot("arm-board")); // arm64 names no processor
        EXPECT_EQ(System::processorModel(), "");
    }
    {
        FixtureServices services(fixtureRoot("vm")); // no cpuinfo at all
        EXPECT_EQ(System::processorModel(), "");
    }
    using core::systemtext::processorModelFromCpuinfo;
    EXPECT_EQ(processorModelFromCpuinfo("processor\t: 0\nmodel name\t:   Intel(R)  Xeon(R)   CPU  \nflags : x\n"),
        "Intel(R) Xeon(R) CPU");
    EXPECT_EQ(processorModelFromCpuinfo("system type : x\ncpu model\t: MIPS 24Kc V7.4\n"), "MIPS 24Kc V7.4");
    EXPECT_EQ(processorModelFromCpuinfo("Processor\t: ARMv7 Processor rev 4 (v7l)\n"), "ARMv7 Processor rev 4 (v7l)");
    // "model name" wins wherever it stands; an empty value is skipped.
    EXPECT_EQ(processorModelFromCpuinfo("Processor : A\nmodel name : B"), "B");
    EXPECT_EQ(processorModelFromCpuinfo("model name :   \nProcessor : A\n"), "A");
    EXPECT_EQ(processorModelFromCpuinfo("modelname : A\nmodel : 140\n"), "");
}
