// SPDX-License-Identifier: GPL-3.0-or-later
#include "FolderSwap.h"

#include "tree/Removal.h"

#include <cstdio>
#include <unistd.h>

namespace testing_support {

core::tree::RaceHook swapHook(FolderSwap &swap)
{
    return [&swap](const std::string &parent, const std::string &name) {
        if (swap.done || parent != swap.parent || name != swap.name) {
            return;
        }
        swap.done = true;
        const std::string victim = parent + "/" + name;
        if (std::rename(victim.c_str(), swap.stash.c_str()) != 0) {
            return;
        }
        if (swap.asLink) {
            (void)::symlink(swap.replacement.c_str(), victim.c_str());
        } else {
            (void)std::rename(swap.replacement.c_str(), victim.c_str());
        }
    };
}

} // namespace testing_support
