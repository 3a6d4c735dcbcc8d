#pragma once

#include <string>

namespace testing_support {

/// What the removal race hook does in a test: the first time a removal is
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

/// Installs `swap` as core::tree::removalRaceHook for its lifetime. One at a time.
class ScopedFolderSwap
{
public:
    explicit ScopedFolderSwap(FolderSwap &swap);
    ~ScopedFolderSwap();
    ScopedFolderSwap(const ScopedFolderSwap &) = delete;
    ScopedFolderSwap &operator=(const ScopedFolderSwap &) = delete;
};

} // namespace testing_support
