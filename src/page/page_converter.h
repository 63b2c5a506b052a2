// Converts one source file into one page: the built-in frame or the template
// around the body, the DOT files of its diagrams (page/dot_files.h), and in
// test mode the comparison with the page stored by an earlier run. Each step
// returns what went wrong, if anything; the run says it and decides what
// follows (page/run.h).
#pragma once

#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "page/outcome.h"
#include "page/page_context.h"
#include "platform/platform.h"

namespace tarvo {

// The template's line that starts with this stands for the page body.
inline constexpr std::string_view kBodyMarker = "*******body*******";
inline bool isBodyMarker(std::string_view line) { return line.substr(0, kBodyMarker.size()) == kBodyMarker; }

// A source file as a walk found it: the folder it lies in, held open, and its
// path as messages show it, whose tail from nameStart is its name in that
// folder.
struct SourceFile {
    const platform::Folder& folder;
    WString path;
    std::size_t nameStart = 0;
    // What the listing showed: a regular file with this identity, or nothing
    // known (then the file is asked).
    platform::FileIdentity identity;
    // The sources listed beside it (sorted): a page never replaces one.
    const std::vector<platform::FileIdentity>* siblings = nullptr;
    // The identity of folder, when the walk knows it.
    platform::FileIdentity folderIdentity{};
    // With --keep-tree: where the part of path begins that the page keeps
    // below an output folder (the source's folder below the walk's first
    // folder); npos: none.
    std::size_t keptFrom = WString::npos;
};

// One page on its way, in three steps, each of which returns a trouble that
// ends the run at this page: start() opens the source, decides whether and
// where the page may be written; make() generates it; finish() puts it in
// place (in test mode: compares it) and stores the DOT files it held back.
// The "Handling" line belongs between start() and make(). A run on several
// threads takes start() and make() on a worker and finish() in page order.
class PageJob {
public:
    // outputArg: the output argument without blanks at its ends.
    // holdDiagrams: the page's DOT files are stored by finish() instead of
    // as the translation hands them over.
    PageJob(const SourceFile& source, const std::optional<WString>& outputArg, const PageShared& shared,
            bool holdDiagrams);
    // The page on standard output, from the file at sourcePath or, without
    // one, from standard input.
    explicit PageJob(const std::optional<WString>& sourcePath);
    ~PageJob();
    PageJob(const PageJob&) = delete;
    PageJob& operator=(const PageJob&) = delete;

    Trouble start(const PageContext& ctx);
    Trouble make(const PageContext& ctx);
    Trouble finish(const PageContext& ctx);

    const WString& sourcePath() const;
    const WString& pageName() const;
    // In test mode, after finish(): what the comparison found.
    const std::optional<Verdict>& verdict() const;
    // What went wrong with the page's DOT files since last asked, in order.
    std::vector<Trouble> takeDiagramTroubles();
    // A page that failed after its making on another thread: the DOT files
    // it held back are stored all the same, as a run on one thread stores
    // them while it makes the page.
    void storeHeldDiagrams(const PageContext& ctx);
    // After make() on another thread: an earlier page of the run has written
    // this page's file since start() looked. The page is then converted
    // again, as a run on one thread would have met it.
    bool overtaken() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace tarvo
