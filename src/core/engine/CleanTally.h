// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Result.h"
#include "engine/ModuleInfo.h"
#include "tree/Removal.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace core {

/// What one clean did, item by item and in total: filled from the clean's
/// callbacks on the main queue (collect), read by both front ends to print
/// or show their report. A plain value once the clean is done.
struct CleanTally
{
    /// One item the cleaner removed, moved to the Trash, found gone, or
    /// could not remove (wholly or in part).
    struct Item
    {
        std::string url; // the record's file URL
        std::string path; // its path (bytes)
        ModuleInfo::ItemReport report;
    };
    /// A category left alone whole (a program it names runs).
    struct Skipped
    {
        int category = 0;
        std::string title;
        std::string reason;
    };

    std::vector<Item> removed; // removed, trashed or already gone (report.alreadyGone)
    std::vector<Item> failed; // refused or failed, in part or whole
    std::vector<Skipped> skipped;
    /// Selected categories listed for review only: never cleaned.
    std::vector<Skipped> reviewOnly;

    std::int64_t freed = 0; // bytes given back, the removed part of failed folders included
    std::int64_t movedToTrash = 0; // bytes moved to the Trash
    std::int64_t held = 0; // bytes of removed names that other names still hold
    std::map<tree::Refusal, std::size_t> refusals; // failed items refused before anything was touched, by why

    [[nodiscard]] std::size_t alreadyGone() const;
    /// Items that went (removed or trashed), the already gone ones not counted.
    [[nodiscard]] std::size_t gone() const { return removed.size() - alreadyGone(); }

    void addRemoved(const FolderInfo &record, const ModuleInfo::ItemReport &report);
    void addFailed(const FolderInfo &record, const ModuleInfo::ItemReport &report);

    /// Makes `options` fill a new tally, keeping the callbacks already set
    /// (they are called after the tally took the report); the review-only
    /// categories of module `moduleIndex` that are selected now are noted at
    /// once. Main queue.
    [[nodiscard]] static std::shared_ptr<CleanTally> collect(int moduleIndex, ModuleInfo::CleanOptions &options);
};

} // namespace core
