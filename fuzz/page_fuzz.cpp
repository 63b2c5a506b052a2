// The whole page pipeline: the input is written to a source file and
// converted with the built-in frame into memory. The same page is then
// converted again with the same run context, as the batch driver does for the
// next file; it must come out the same, since every page starts from a closed
// state.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "cli/run_context.h"
#include "fuzz_scratch.h"
#include "page/page_converter.h"

namespace {

std::string convert(tarvo::RunContext& ctx, const std::string& source) {
    tarvo::WikiInStream in;
    in.open(tarvo::widen(source));
    tarvo::PageOutput out;
    if (in.good()) tarvo::generatePage(ctx, in, out);
    return out.text();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const tarvo::fuzz::Scratch scratch;
    const std::string source = scratch.root + "/page.txt";
    {
        std::ofstream file(source, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    auto ctx = std::make_unique<tarvo::RunContext>();
    ctx->options.workDir = tarvo::widen(scratch.work);
    const std::string first = convert(*ctx, source);
    const std::string second = convert(*ctx, source);
    scratch.emptyWork();
    if (first != second) {
        std::fprintf(stderr, "the same page converted twice with one run context differs:\n--- first\n%s\n--- second\n%s\n",
                     first.c_str(), second.c_str());
        std::abort();
    }
    return 0;
}
