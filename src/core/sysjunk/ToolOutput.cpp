// SPDX-License-Identifier: GPL-3.0-or-later
#include "sysjunk/ToolOutput.h"

#include <charconv>
#include <cmath>
#include <string>

namespace core::sysjunk {

namespace {

std::vector<std::string_view> lines(std::string_view text)
{
    std::vector<std::string_view> result;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        result.push_back(text.substr(0, end));
        if (end == std::string_view::npos) {
            break;
        }
        text.remove_prefix(end + 1);
    }
    return result;
}

std::vector<std::string_view> fields(std::string_view line)
{
    std::vector<std::string_view> result;
    std::size_t at = 0;
    while (at < line.size()) {
        while (at < line.size() && (line[at] == ' ' || line[at] == '\t' || line[at] == '\r')) {
            ++at;
        }
        const std::size_t start = at;
        while (at < line.size() && line[at] != ' ' && line[at] != '\t' && line[at] != '\r') {
            ++at;
        }
        if (at > start) {
            result.push_back(line.substr(start, at - start));
        }
    }
    return result;
}

bool hasNote(std::string_view notes, std::string_view wanted)
{
    while (!notes.empty()) {
        const std::size_t comma = notes.find(',');
        if (notes.substr(0, comma) == wanted) {
            return true;
        }
        if (comma == std::string_view::npos) {
            break;
        }
        notes.remove_prefix(comma + 1);
    }
    return false;
}

} // namespace

std::vector<SnapRevision> disabledSnaps(std::string_view snapListAll)
{
    std::vector<SnapRevision> result;
    bool header = false;
    for (const std::string_view line : lines(snapListAll)) {
        const std::vector<std::string_view> row = fields(line);
        if (!header) {
            // The table starts with its header; anything before it (a warning) is not a row.
            header = row.size() >= 6 && row[0] == "Name" && row[2] == "Rev" && row.back() == "Notes";
            continue;
        }
        // Every column holds one word ("-" when empty), Notes last.
        if (row.size() < 6 || !hasNote(row.back(), "disabled")) {
            continue;
        }
        if (isSnapName(row[0]) && isSnapRevision(row[2])) {
            result.push_back(SnapRevision{ std::string(row[0]), std::string(row[2]) });
        }
    }
    return result;
}

std::vector<UnusedRuntime> unusedRuntimes(std::string_view flatpakUninstallUnused)
{
    std::vector<UnusedRuntime> result;
    for (const std::string_view line : lines(flatpakUninstallUnused)) {
        const std::vector<std::string_view> row = fields(line);
        // "N." then the id and the branch; the header and the question have no number.
        if (row.size() < 3 || row[0].size() < 2 || row[0].back() != '.') {
            continue;
        }
        const std::string_view number = row[0].substr(0, row[0].size() - 1);
        unsigned value = 0;
        if (std::from_chars(number.data(), number.data() + number.size(), value).ptr != number.data() + number.size()) {
            continue;
        }
        if (isFlatpakId(row[1]) && isFlatpakBranch(row[2])) {
            result.push_back(UnusedRuntime{ std::string(row[1]), std::string(row[2]) });
        }
    }
    return result;
}

std::optional<std::int64_t> journalDiskUsage(std::string_view text)
{
    constexpr std::string_view Marker = "take up ";
    const std::size_t at = text.find(Marker);
    if (at == std::string_view::npos) {
        return std::nullopt;
    }
    std::string_view amount = text.substr(at + Marker.size());
    amount = amount.substr(0, amount.find(' '));
    // systemd writes sizes with one decimal and a binary unit: "1.2G", "512.0M", "8.0K", "0B".
    std::size_t digits = 0;
    while (digits < amount.size() && ((amount[digits] >= '0' && amount[digits] <= '9') || amount[digits] == '.')) {
        ++digits;
    }
    if (digits == 0) {
        return std::nullopt;
    }
    double value = 0;
    const std::string number(amount.substr(0, digits));
    if (std::from_chars(number.data(), number.data() + number.size(), value).ptr != number.data() + number.size()) {
        return std::nullopt;
    }
    const std::string_view unit = amount.substr(digits);
    double scale = 1;
    if (unit.empty() || unit == "B") {
        scale = 1;
    } else if (unit == "K") {
        scale = 1024.0;
    } else if (unit == "M") {
        scale = 1024.0 * 1024;
    } else if (unit == "G") {
        scale = 1024.0 * 1024 * 1024;
    } else if (unit == "T") {
        scale = 1024.0 * 1024 * 1024 * 1024;
    } else {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(std::llround(value * scale));
}

} // namespace core::sysjunk
