// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

namespace testing_support {

/// A private temporary directory for one test, removed with everything in
/// it when the object goes (with the core's own fd-based removal, after
/// restoring permissions the test may have taken away). Never in a real home.
class TempDir
{
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::string &path() const { return m_path; }
    /// path() + "/" + relative
    std::string operator/(const std::string &relative) const { return m_path + "/" + relative; }

    /// Creates the parent folders of `relative` and a file of `size` bytes
    /// ('x' bytes, or a sparse file when `sparse`). Returns the full path.
    std::string writeFile(const std::string &relative, std::int64_t size, bool sparse = false) const;
    /// writeFile at an absolute path (anywhere a test made its own, such as a mount inside its tree).
    static std::string writeFileAt(const std::string &path, std::int64_t size, bool sparse = false);
    /// Creates a folder and its parents. Returns the full path.
    std::string makeDir(const std::string &relative) const;
    /// Creates a symbolic link at `relative` holding `target` verbatim. Returns the full path.
    std::string makeLink(const std::string &relative, const std::string &target) const;

private:
    std::string m_outer; // made by mkdtemp; the tree is its folder "t"
    std::string m_path;
};

/// Sets a file's modification time (seconds since the epoch), without following a final link.
void setMtime(const std::string &path, std::int64_t seconds);

/// Builds a chain of `depth` nested folders named `name` below the folder `root` with
/// *at() calls (so the chain may outgrow PATH_MAX), and a file of `fileSize`
/// bytes named "leaf" at its bottom. Returns false if anything failed.
bool makeChain(const std::string &root, const std::string &name, int depth, std::int64_t fileSize);

/// Whether anything (a link included) is at `path`.
bool exists(const std::string &path);

/// Reads a whole file; "" when it cannot be read.
std::string readFile(const std::string &path);

} // namespace testing_support
