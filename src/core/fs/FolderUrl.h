// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

namespace core {

/// One location to scan.
struct FolderUrl
{
    std::string url; // a "file://" URL string, home folder already substituted; "" for none
    std::string type = "Folder"; // "Folder", "File", "Children" or "FolderWithChildren": how it is measured and listed
    int checked = 0; // state given to what is found there; a scan overwrites it with the category's state
    /// For a location with a wildcard ("*"): names of which the folder the
    /// last wildcard stands for must hold one (the catalogue's "requires"),
    /// so a general rule reaches only the applications it is meant for.
    /// Empty: any match.
    std::vector<std::string> markers{};

    bool operator==(const FolderUrl &) const = default;
};

} // namespace core
