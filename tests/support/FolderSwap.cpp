#include "FolderSwap.h"

#include "tree/Removal.h"

#include <cstdio>
#include <unistd.h>

namespace testing_support {

namespace {

FolderSwap *s_swap = nullptr;

void swapOnce(const std::string &parent, const std::string &name)
{
    if (s_swap == nullptr || s_swap->done || parent != s_swap->parent || name != s_swap->name) {
        return;
    }
    s_swap->done = true;
    const std::string victim = parent + "/" + name;
    if (std::rename(victim.c_str(), s_swap->stash.c_str()) != 0) {
        return;
    }
    if (s_swap->asLink) {
        (void)::symlink(s_swap->replacement.c_str(), victim.c_str());
    } else {
        (void)std::rename(s_swap->replacement.c_str(), victim.c_str());
    }
}

} // namespace

ScopedFolderSwap::ScopedFolderSwap(FolderSwap &swap)
{
    s_swap = &swap;
    core::tree::removalRaceHook = swapOnce;
}

ScopedFolderSwap::~ScopedFolderSwap()
{
    core::tree::removalRaceHook = nullptr;
    s_swap = nullptr;
}

} // namespace testing_support
