// SPDX-License-Identifier: GPL-3.0-or-later
#include "TempDir.h"

#include "tree/Removal.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <ftw.h>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace testing_support {

namespace {

void makeParents(const std::string &path)
{
    for (std::size_t pos = 1; (pos = path.find('/', pos)) != std::string::npos; ++pos) {
        const std::string prefix = path.substr(0, pos);
        if (::mkdir(prefix.c_str(), 0755) != 0 && errno != EEXIST) {
            throw std::runtime_error("mkdir " + prefix);
        }
    }
}

int restoreMode(const char *path, const struct stat *st, int type, FTW * /*ftw*/)
{
    if (type == FTW_D || type == FTW_DNR) {
        ::chmod(path, (st->st_mode & 07777) | 0700);
    }
    return 0;
}

} // namespace

TempDir::TempDir()
{
    const char *base = std::getenv("TMPDIR"); // NOLINT(concurrency-mt-unsafe)
    std::string tmpl = std::string(base != nullptr && *base == '/' ? base : "/tmp") + "/spruce-test-XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (::mkdtemp(buf.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    m_outer = buf.data();
    // The tree lives one level down: a folder directly inside /tmp is one the
    // cleaner protects, so the outer one anchors the removal of this one.
    m_path = m_outer + "/t";
    // Passable (not listable) for the unprivileged user some tests drop to;
    // the tree itself starts private, as mkdtemp made the outer one.
    if (::chmod(m_outer.c_str(), 0711) != 0 || ::mkdir(m_path.c_str(), 0700) != 0) {
        throw std::runtime_error("mkdir " + m_path);
    }
}

TempDir::~TempDir()
{
    // Tests may leave folders without permissions; give them back first. nftw
    // with FTW_PHYS never follows links, so nothing outside is touched.
    ::nftw(m_path.c_str(), restoreMode, 64, FTW_PHYS);
    if (const std::optional<core::tree::Anchor> outer = core::tree::anchorAt(m_outer)) {
        (void)core::tree::removeBelow(*outer, "t", core::tree::RemovalRequest{});
    }
    (void)::rmdir(m_outer.c_str());
}

std::string TempDir::writeFile(const std::string &relative, std::int64_t size, bool sparse) const
{
    return writeFileAt(*this / relative, size, sparse);
}

std::string TempDir::writeFileAt(const std::string &full, std::int64_t size, bool sparse)
{
    makeParents(full);
    const int fd = ::open(full.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        throw std::runtime_error("open " + full);
    }
    if (sparse) {
        if (::ftruncate(fd, size) != 0) {
            ::close(fd);
            throw std::runtime_error("ftruncate " + full);
        }
    } else {
        const std::string chunk(static_cast<std::size_t>(std::min<std::int64_t>(size, 65536)), 'x');
        for (std::int64_t left = size; left > 0;) {
            const auto n = static_cast<std::size_t>(std::min<std::int64_t>(left, 65536));
            if (::write(fd, chunk.data(), n) != static_cast<ssize_t>(n)) {
                ::close(fd);
                throw std::runtime_error("write " + full);
            }
            left -= static_cast<std::int64_t>(n);
        }
    }
    ::close(fd);
    return full;
}

std::string TempDir::makeDir(const std::string &relative) const
{
    const std::string full = *this / relative;
    makeParents(full + "/");
    return full;
}

std::string TempDir::makeLink(const std::string &relative, const std::string &target) const
{
    const std::string full = *this / relative;
    makeParents(full);
    if (::symlink(target.c_str(), full.c_str()) != 0) {
        throw std::runtime_error("symlink " + full);
    }
    return full;
}

void setMtime(const std::string &path, std::int64_t seconds)
{
    const struct timespec times[2] = { { seconds, 0 }, { seconds, 0 } };
    if (::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) {
        throw std::runtime_error("utimensat " + path);
    }
}

bool exists(const std::string &path)
{
    struct stat st
    {
    };
    return ::lstat(path.c_str(), &st) == 0;
}

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

bool makeChain(const std::string &root, const std::string &name, int depth, std::int64_t fileSize)
{
    int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int i = 0; i < depth && fd >= 0; ++i) {
        if (::mkdirat(fd, name.c_str(), 0755) != 0) {
            ::close(fd);
            return false;
        }
        const int child = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = child;
    }
    if (fd < 0) {
        return false;
    }
    const int file = ::openat(fd, "leaf", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    const bool ok = file >= 0 && ::ftruncate(file, static_cast<off_t>(fileSize)) == 0;
    if (file >= 0) {
        ::close(file);
    }
    ::close(fd);
    return ok;
}

} // namespace testing_support
