// The subcommands of tessaline. Each adds itself to the program's command line and, when
// chosen, runs through the callback it set; failures are Exceptions, caught in main.
#pragma once

#include <CLI/CLI.hpp>

namespace Tessaline {

void addInfoCommand(CLI::App& app);
void addDumpCommand(CLI::App& app);

} // namespace Tessaline
