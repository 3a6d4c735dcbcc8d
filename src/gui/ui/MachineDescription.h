// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "monitor/System.h"

#include <QString>

#include <optional>
#include <string>
#include <string_view>

namespace core::format {
struct PlistValue;
}

namespace gui {

/// What the system tells about the machine, for the dashboard's two lines.
struct MachineFacts
{
    std::string modelIdentifier; // System::model(): the key of the machine table
    core::FirmwareInfo firmware;
    std::string processor; // System::processorModel()
    int logicalCores = 0;
    int physicalCores = 0;
    double memoryGigabytes = 0; // System::physicalMemory()

    /// Reads every field from System (below services().sysRoot).
    static MachineFacts read();
};

/// The dashboard's model name and its longer description.
struct ModelTexts
{
    QString model;
    QString description;
    bool operator==(const ModelTexts &) const = default;
};

/// The "model" and "marketingModel" strings of `identifier` in a machine
/// table (a dictionary keyed by model identifier, each value holding a
/// dictionary "_LOCALIZABLE_" with the two strings). nullopt when the
/// table is not a dictionary, has no such entry, or the entry lacks either
/// string. Pure.
std::optional<ModelTexts> lookUpMachineAttributes(const core::format::PlistValue &table, std::string_view identifier);

/// The machine as its firmware names it: the maker, without words such as
/// "Inc." or "Co., Ltd.", before the product ("Dell XPS 13 9310"); the
/// maker is left out when the product already starts with it. A product
/// that is only a type number ("20XWCTO1WW": no space, a digit, no small
/// letter) gives way to the product version when that holds a name
/// ("ThinkPad X1 Carbon Gen 9"). "" without a product. Pure.
QString firmwareModelName(const core::FirmwareInfo &firmware);

/// "<processor>, <n> cores, <x> GB memory" ("4 cores, 8 threads" when the
/// cores run two threads each), from whatever is known; "(R)" and "(TM)"
/// marks are dropped from the processor's name. "" when nothing is. Pure.
QString hardwareDescription(const MachineFacts &facts);

/// The texts the dashboard shows: the table's entry for the model
/// identifier when `table` has one; otherwise firmwareModelName() and
/// hardwareDescription(), each "Unknown" when it is empty. Pure.
ModelTexts describeMachine(const core::format::PlistValue *table, const MachineFacts &facts);

} // namespace gui
