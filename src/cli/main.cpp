// SPDX-License-Identifier: GPL-3.0-or-later
#include "Cli.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv)
{
    const int code = cli::run(argc, argv);
    // Every result is written and flushed by now. Leaving without running the
    // destructors spares freeing a scan's records one by one (a home folder
    // holds a hundred thousand of them); the system takes the memory back at once.
    std::fflush(nullptr);
    std::_Exit(code);
}
