// The few console facts that differ between Linux and Windows.
#pragma once

#include <cstdio>

namespace Tessaline {

// Whether standard error is a terminal (progress lines go there only then).
bool stderrIsTerminal();
// Puts standard output into binary mode (a no-op where text and binary are the same).
void setBinaryStdout();

} // namespace Tessaline
