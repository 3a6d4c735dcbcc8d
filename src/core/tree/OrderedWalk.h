// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tree/Walker.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace core::tree {

/// One item a visitor kept: the walking thread that kept it (0 is the
/// caller's) and how many items that thread had kept before it.
struct WalkToken
{
    std::uint32_t worker = 0;
    std::uint32_t index = 0;
    auto operator<=>(const WalkToken &) const = default;
};

/// A visitor's decision for one item.
struct VisitAnswer
{
    bool keep = false; // the item takes a place in the walk's ordered result
    bool descend = true; // enter the item (only matters for a directory)
};

struct OrderedWalkOptions
{
    bool skipHidden = false; // hidden items are neither visited nor entered
    bool skipPackageDescendants = false; // packages are visited, not entered
    std::size_t threads = 1; // walking threads, the caller's included (at least 1)
    const KeptItems *kept = nullptr; // the always-keep list; not owned
};

/// Called for every item with its values (as Walker returns them, statOk
/// false included), its level (1 for the root's immediate entries) and the
/// index of the walking thread (below OrderedWalkOptions::threads). Calls
/// for different items may run at once on different threads; calls with the
/// same thread index never overlap, so per-thread state indexed by it needs
/// no lock. The item is only valid during the call.
using OrderedVisit = std::function<VisitAnswer(const WalkItem &item, int level, std::size_t worker)>;

/// A deep walk below `rootPath` that may spread over several threads yet
/// keeps the order of a single Walker: pre-order, each directory's names
/// sorted by bytes. Returns the tokens of the kept items in that order, so
/// a visitor that appends what it keeps to a per-thread list can put the
/// lists back in walk order. nullopt when the root cannot be opened as a
/// directory.
///
/// File-system rules are Walker's: the root is opened following a link,
/// nothing below it is followed, directories that cannot be opened, lie
/// deeper than 4096 levels or on a pseudo or network mount are passed over
/// silently. A hidden name is skipped before any stat call. Items on the
/// always-keep list (OrderedWalkOptions::kept) are never
/// visited nor entered, on every walking thread; a root that is kept, or
/// lies below a kept folder, gives an empty walk.
///
/// Threads: the caller walks alone until the walk has seen a few hundred
/// entries (a small folder costs no thread start); helpers then take whole
/// subdirectories whenever they are idle. All helpers are joined before
/// the function returns. Thread-safe: several walks may run at once.
std::optional<std::vector<WalkToken>> walkInOrder(
    const std::string &rootPath, const OrderedWalkOptions &options, const OrderedVisit &visit);

/// Walking threads worth using on this machine: 2 to 4, by core count.
std::size_t defaultWalkThreads();

} // namespace core::tree
