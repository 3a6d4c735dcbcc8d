// SPDX-License-Identifier: GPL-3.0-or-later
#include "theme/UIInfo.h"

#include "format/Plist.h"
#include "theme/ResourceTable.h"

#include <atomic>

namespace core {

namespace {

bool contains(std::string_view key, std::string_view word)
{
    return key.find(word) != std::string_view::npos;
}

void readNumber(const format::PlistValue &entry, std::string_view field, double &into)
{
    if (const auto *value = entry.find(field)) {
        if (const auto number = value->real()) {
            into = *number;
        }
    }
}

std::atomic<ThemeVariant> currentVariant{ ThemeVariant::Light };

/// The resource suffix of the file in use: the dark file only when it is there,
/// so an installation without it keeps a usable (light) theme.
std::string_view themeSuffix()
{
    if (currentVariant.load(std::memory_order_relaxed) == ThemeVariant::Dark
        && !theme_detail::resourcePath("UI-Dark").empty()) {
        return "UI-Dark";
    }
    return "UI";
}

} // namespace

MyUI UIInfo::parseEntry(std::string_view key, const format::PlistValue &entry)
{
    MyUI ui;
    if (contains(key, "color") || contains(key, "font")) {
        readNumber(entry, "red", ui.red);
        readNumber(entry, "green", ui.green);
        readNumber(entry, "blue", ui.blue);
        readNumber(entry, "alpha", ui.alpha);
    }
    if (contains(key, "font")) {
        ui.name = "Times-Roman";
        if (const auto *name = entry.find("name"); name != nullptr && name->isString()) {
            ui.name = *name->string();
        }
        readNumber(entry, "size", ui.size);
        if (const auto *weight = entry.find("weight")) {
            if (const auto whole = weight->integer()) {
                ui.weight = *whole;
            } else if (const auto number = weight->real(); number && *number >= -0x1p63 && *number < 0x1p63) {
                // Whole part of a real; one outside the integer range (or NaN) is ignored, as
                // converting it would be undefined.
                ui.weight = static_cast<std::int64_t>(*number);
            }
        }
    }
    if (contains(key, "button")) {
        readNumber(entry, "bred", ui.bred);
        readNumber(entry, "bgreen", ui.bgreen);
        readNumber(entry, "bblue", ui.bblue);
        readNumber(entry, "balpha", ui.balpha);
    }
    return ui;
}

UIInfo::Table UIInfo::parseTheme(const format::PlistValue &root)
{
    Table table;
    const auto *dict = root.dict();
    if (dict == nullptr) {
        return table;
    }
    for (const auto &[key, value] : *dict) {
        table.emplace(key, parseEntry(key, value));
    }
    return table;
}

UIInfo::Table UIInfo::AllUIs()
{
    const auto root = theme_detail::readResource(themeSuffix());
    return root ? parseTheme(*root) : Table();
}

MyUI UIInfo::nsMyUI(std::string_view key)
{
    const Table all = AllUIs();
    if (const auto found = all.find(key); found != all.end()) {
        return found->second;
    }
    theme_detail::logOnce("Theme entry \"" + std::string(key) + "\" missing");
    // The defaults of the groups the key selects, as an empty entry would give.
    return parseEntry(key, format::PlistValue{});
}

Rgba UIInfo::nsColor(std::string_view key)
{
    return nsMyUI(key).color();
}

std::string UIInfo::themePath()
{
    return theme_detail::resourcePath(themeSuffix());
}

void UIInfo::setVariant(ThemeVariant variant)
{
    currentVariant.store(variant, std::memory_order_relaxed);
}

ThemeVariant UIInfo::variant()
{
    return currentVariant.load(std::memory_order_relaxed);
}

} // namespace core
