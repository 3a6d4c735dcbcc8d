// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the tagged-cache search alone on a real tree and prints what it
// found, so a script can time it against find and check its answer.
//
//   tagged_search_bench ROOT
//
// Prints one found folder per line (sorted by bytes) on stdout. Exit 2 on a
// usage error.

#include "tree/TaggedFolders.h"
#include "tree/Walker.h"

#include <cstdio>
#include <string>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fputs("usage: tagged_search_bench ROOT\n", stderr);
        return 2;
    }
    core::tree::raiseFileLimit();
    for (const std::string &path : core::tree::findTaggedFolders(argv[1], core::tree::TagSearchOptions{})) {
        std::printf("%s\n", path.c_str());
    }
    return 0;
}
