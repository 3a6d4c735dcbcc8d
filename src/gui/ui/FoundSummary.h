// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/Catalogue.h"

#include <QString>

#include <cstdint>
#include <vector>

namespace gui {

/// What the scans of the cleaning modules found, as the dashboard sums it
/// up: the junk (caches, logs and the like), the user's own large and old
/// files, and what is listed for review only. A file listed by several
/// categories (a big file that is also old) counts once.
struct FoundSummary
{
    std::int64_t junk = 0;
    std::int64_t own = 0;
    std::int64_t reviewOnly = 0;

    [[nodiscard]] std::int64_t total() const { return junk + own + reviewOnly; }

    /// The summary of modules `moduleIndexes` of `modules` (indexes outside
    /// the list are passed over); the large-and-old module's findings are
    /// the user's own. Pure.
    [[nodiscard]] static FoundSummary of(
        const std::vector<core::Module> &modules, const std::vector<int> &moduleIndexes);
    /// What module `moduleIndex` found, each file once. Pure.
    [[nodiscard]] static std::int64_t sizeOf(const std::vector<core::Module> &modules, int moduleIndex);

    /// "5.0 kB of junk, 2.0 kB of your own large and old files" and, when
    /// there is any, ", 24 kB for review only".
    [[nodiscard]] QString sentence() const;
};

} // namespace gui
