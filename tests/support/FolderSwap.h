// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tree/Removal.h"

#include <string>

namespace testing_support {

/// What a removal race hook does in a test: the first time a removal is
/// about to open `name` in `parent`, that folder is moved to `stash` and
/// `replacement` is put in its place, as a link to it or (asLink false) by
/// renaming the folder `replacement` there.
struct FolderSwap
{
    std::string parent;
    std::string name;
    std::string stash;
    std::string replacement;
    bool asLink = true;
    bool done = false;
};

/// The race hook that performs `swap` (which must outlive it), for a
/// removal request or a clean's options.
core::tree::RaceHook swapHook(FolderSwap &swap);

} // namespace testing_support
