#pragma once

#include "Result.h"
#include "tree/KeptItems.h"

#include <memory>
#include <string>
#include <vector>

namespace core {

/// The user's always-keep list: files and folders Spruce never collects nor
/// cleans, with everything below them. Scans leave them out (ModuleInfo::scan
/// resolves the list when a scan starts), and the cleaner refuses them again
/// by identity (ModuleInfo::cleanModule resolves it when a clean starts).
///
/// Stored in the user's configuration folder as "Spruce/always-keep" (see
/// filePath): a text file with one file URL per line, so any path survives
/// byte for byte (newlines and bytes that are not UTF-8 included). Lines
/// starting with "#", blank lines and lines that are not file URLs are
/// passed over when reading and left as they are when the file is
/// rewritten. A kept path that no longer exists stays listed and matches
/// nothing until something is there again.
///
/// Every operation reads the file afresh; add and remove take an exclusive
/// lock on the Spruce folder for their read-modify-write and replace the
/// file atomically, so the desktop application and the command-line tool
/// may change it at once. Thread-safe.
class KeepList
{
public:
    KeepList() = delete;

    /// services().user.configFolder() + "/Spruce/always-keep".
    [[nodiscard]] static std::string filePath();

    /// The kept paths (absolute, without trailing "/"), in the order they
    /// were added. A missing file is an empty list; a file that exists but
    /// cannot be read is an error naming it.
    [[nodiscard]] static Result<std::vector<std::string>> load();

    /// Adds `paths` (absolute; trailing "/" dropped) that are not listed
    /// yet and returns those it added, in order. Creates the folders and the
    /// file (private to the user) when needed. A relative path is an error
    /// (EINVAL) and nothing is written.
    [[nodiscard]] static Result<std::vector<std::string>> add(const std::vector<std::string> &paths);

    /// Takes `paths` (compared byte for byte, trailing "/" dropped) off the
    /// list and returns those that were on it; the others are left alone.
    [[nodiscard]] static Result<std::vector<std::string>> remove(const std::vector<std::string> &paths);

    /// The list as the file system holds it now (tree::KeptItems::resolve):
    /// null when nothing listed exists; an error when the file cannot be read.
    [[nodiscard]] static Result<std::shared_ptr<const tree::KeptItems>> resolve();
};

} // namespace core
