// The fast inline formatter against the in-place reference. The first input
// byte chooses the starting state (emphasis, comment, raw mode, open block);
// the rest is split at "\n" into lines that run through both sides one after
// the other, the state carried from line to line. Any difference in text,
// output bytes or state is printed and aborts.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_scratch.h"
#include "markup/reference_inline.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tarvo::reference;
    static const tarvo::fuzz::Scratch scratch;
    if (size == 0) return 0;
    const StartState start = StartState::fromByte(data[0]);
    std::vector<std::string> lines(1);
    for (std::size_t i = 1; i < size; ++i) {
        if (data[i] == '\n') lines.emplace_back();
        else lines.back().push_back(static_cast<char>(data[i]));
    }
    const RefOptions options{"f/", "g/"};
    const std::string report = compareLines(scratch.work, options, start, lines.data(), lines.size());
    scratch.emptyWork();
    if (!report.empty()) {
        std::fprintf(stderr, "fast formatter and reference differ\n%s", report.c_str());
        std::abort();
    }
    return 0;
}
