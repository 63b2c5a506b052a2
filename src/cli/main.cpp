#include "cli/command_line.h"
#include "platform/platform.h"

namespace tarvo {

// Called by the platform's entry point with the wide arguments.
int programMain(const std::vector<WString>& args) {
    Report report;
    return runCommandLine(report, args);
}

}  // namespace tarvo
