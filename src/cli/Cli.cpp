#include "Cli.h"

namespace cli {

int run(int /*argc*/, char ** /*argv*/)
{
    return 0;
}

} // namespace cli
