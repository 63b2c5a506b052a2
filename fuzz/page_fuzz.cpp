// The whole page pipeline: the input is written to a source file and
// converted with the built-in frame into its page, its diagrams into DOT
// files. The same page is then converted again with the translation's state
// the first left behind, as a run goes on with its next file; it must come out
// the same, since every page starts from a closed state.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <system_error>

#include "page/page_converter.h"

namespace {

namespace fs = std::filesystem;

// A scratch folder for one fuzz process, removed when the process ends; DOT
// files go to its "work/".
struct Scratch {
    Scratch() {
        std::string pattern = (fs::temp_directory_path() / "tarvo-fuzz-XXXXXX").string();
        if (!mkdtemp(pattern.data())) std::abort();
        root = pattern;
        fs::create_directory(root + "/work/");
    }
    ~Scratch() {
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }
    std::string root;
};


template <typename... Values>
[[noreturn]] void fail(const char* format, Values... values) {
    std::fprintf(stderr, format, values...);
    std::abort();
}

// Converts the source into its page beside it, as a run does, and returns the
// page. The workspace (with the translation's state) goes on from one page
// to the next, as on a thread of a run.
std::string convert(tarvo::Workspace& space, const std::string& source, const std::string& work) {
    tarvo::PageOptions options;
    options.workDir = tarvo::widen(work);
    tarvo::PageShared shared;
    tarvo::platform::Folder workFolder;
    if (workFolder.open(tarvo::platform::currentFolder(), options.workDir)) shared.workFolder = &workFolder;
    const tarvo::PageContext ctx{options, shared, space};
    tarvo::PageJob job(tarvo::SourceFile{tarvo::platform::currentFolder(), tarvo::widen(source), 0, {}, nullptr},
                       std::nullopt, shared, false);
    if (!job.start(ctx) && !job.make(ctx)) job.finish(ctx);
    const std::string page = source.substr(0, source.rfind('.')) + ".html";
    std::ifstream in(page, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::remove(page.c_str());
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const Scratch scratch;
    const std::string source = scratch.root + "/page.txt";
    {
        std::ofstream file(source, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    // An input of odd length is converted as with --safe.
    tarvo::MarkupOptions options;
    options.safe = size % 2 == 1;
    auto space = std::make_unique<tarvo::Workspace>(options);
    const std::string work = scratch.root + "/work/";
    // A cost or an output that grows faster than the input (a quadratic path,
    // a link that expands without end) shows here long before it would
    // reach the time-out: an instrumented build converts about a megabyte a
    // second, and no markup makes a page more than a few times its source.
    // The time is processor time, and a slow input is measured again before
    // it counts, so that a busy machine or a slow disk does not fail a run.
    auto cpuSeconds = [&](std::string& page) {
        const std::clock_t start = std::clock();
        page = convert(*space, source, work);
        return static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
    };
    const double budget = 0.05 + 20e-6 * static_cast<double>(size);
    std::string first, second;
    double seconds = cpuSeconds(first);
    for (int again = 0; again < 2 && seconds > budget; ++again) seconds = std::min(seconds, cpuSeconds(second));
    if (seconds > budget) fail("slow input: %zu bytes took %.3f s of processor time\n", size, seconds);
    if (first.size() > 2048 + 64 * size) fail("output out of proportion: %zu bytes from %zu\n", first.size(), size);
    second = convert(*space, source, work);
    std::error_code ignored;  // the DOT files of this input must not pile up
    fs::remove_all(scratch.root + "/work/", ignored);
    fs::create_directory(scratch.root + "/work/", ignored);
    if (first != second)
        fail("the same page converted twice with one run context differs:\n--- first\n%s\n--- second\n%s\n",
             first.c_str(), second.c_str());
    return 0;
}
