#pragma once

#include <string>

namespace core {

/// One location to scan.
struct FolderUrl
{
    std::string url; // a "file://" URL string, home folder already substituted; "" for none
    std::string type = "Folder"; // "Folder", "File", "Children" or "FolderWithChildren": how it is measured and listed
    int checked = 0; // state given to what is found there; a scan overwrites it with the category's state

    bool operator==(const FolderUrl &) const = default;
};

} // namespace core
