#pragma once

#include <vector>

#include "page/report.h"

namespace tarvo {

// The whole program after the arguments were turned into wide strings
// (args[0] is the program name): banner, options, conversion. Returns the
// exit code.
int runCommandLine(Report& report, const std::vector<WString>& args);

}  // namespace tarvo
