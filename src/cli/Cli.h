#pragma once

namespace cli {

/// Parses the command line, installs the services and runs one command.
/// Returns the process exit code: 0 success, 1 some items failed, 2 usage
/// error, 3 a resource or the catalogue cannot be read.
int run(int argc, char **argv);

} // namespace cli
