#include <memory>

#include "cli/command_line.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
    auto ctx = std::make_unique<tarvo::RunContext>();
    return tarvo::runCommandLine(*ctx, tarvo::platform::wideArguments(argc, argv));
}
