#include <memory>

#include "cli/command_line.h"
#include "platform/platform.h"

namespace tarvo {

// Called by the platform's entry point with the wide arguments.
int programMain(const std::vector<WString>& args) {
    auto ctx = std::make_unique<RunContext>();
    return runCommandLine(*ctx, args);
}

}  // namespace tarvo
