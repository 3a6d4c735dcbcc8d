// SPDX-License-Identifier: GPL-3.0-or-later
// Measures one folder-sizing path on a real tree and prints its result, so a
// script can time it and check it against an oracle.
//
//   tree_size_bench [--threads N] [--walker] [--time] PATH...
//
// Default: core::tree::treeSize(PATH) with N walking threads (0 = automatic).
// --walker: the sum of st_size from one core::tree::Walker pass (wantStat, no
// options): the single-threaded enumeration the listing operations use.
// --time: also print the wall time of each path to stderr.
// Prints "<total>\t<path>" per path on stdout. Exit 2 on a usage error.

#include "tree/TreeSize.h"
#include "tree/Walker.h"

#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::int64_t walkerTotal(const std::string &root)
{
    core::tree::Walker walker(root, core::tree::WalkOptions{});
    std::int64_t total = 0;
    while (const core::tree::WalkItem *item = walker.next()) {
        if (item->statOk && !item->isDir) {
            total += item->size;
        }
    }
    return total;
}

int usage()
{
    std::fputs("usage: tree_size_bench [--threads N] [--walker] [--time] PATH...\n", stderr);
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    core::tree::raiseFileLimit();
    core::tree::TreeSizeOptions options;
    bool useWalker = false;
    bool timeIt = false;
    std::vector<std::string> paths;
    const std::vector<std::string> args(argv + 1, argv + argc);
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--threads" && i + 1 < args.size()) {
            const std::string &value = args[++i];
            const auto [ptr, ec] = std::from_chars(value.data(), value.data() + value.size(), options.threads);
            if (ec != std::errc{} || ptr != value.data() + value.size() || options.threads < 0) {
                return usage();
            }
        } else if (args[i] == "--walker") {
            useWalker = true;
        } else if (args[i] == "--time") {
            timeIt = true;
        } else if (args[i].starts_with("--")) {
            return usage();
        } else {
            paths.push_back(args[i]);
        }
    }
    if (paths.empty()) {
        return usage();
    }
    for (const std::string &path : paths) {
        const auto start = std::chrono::steady_clock::now();
        const std::int64_t total = useWalker ? walkerTotal(path) : core::tree::treeSize(path, options);
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        std::printf("%lld\t%s\n", static_cast<long long>(total), path.c_str());
        if (timeIt) {
            std::fprintf(stderr, "%.3f s\t%s\n", elapsed.count(), path.c_str());
        }
    }
    return 0;
}
