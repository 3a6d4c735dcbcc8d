// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/Catalogue.h"

#include <cstddef>
#include <cstdint>

namespace core {

/// What a clean of a module's current selection is about to remove: the
/// items the cleaner visits (a selected file whole, the selected children
/// of a partly selected file) in categories that are selected and not
/// review only, each item counted once however many bands list it.
struct SelectionSummary
{
    std::size_t items = 0;
    std::int64_t bytes = 0;
};

/// The summary of `module`'s selection as it stands. Pure; main queue (it
/// reads records the catalogue shares).
[[nodiscard]] SelectionSummary summariseSelection(const Module &module);

} // namespace core
