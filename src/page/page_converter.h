// Converts one source file into one page: the page name, the built-in frame or
// the template around the body, the DOT files of its diagrams (and their
// pictures, page/pictures.h), and in test mode the comparison with the page
// stored by an earlier run.
#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <vector>

#include "io/output_file.h"
#include "io/page_output.h"
#include "io/wiki_in_stream.h"
#include "markup/markup.h"
#include "page/link_check.h"
#include "page/pictures.h"
#include "page/report.h"
#include "platform/platform.h"

namespace tarvo {

struct PageOptions {
    bool testMode = false;  // compare with the stored page instead of writing it
    WString templateName;   // empty: the built-in page frame
    WString workDir;        // put in front of DOT file names
    MarkupOptions markup;
    bool checkLinks = false;  // keep each body's links for the check after the run
    PictureOptions pictures;  // the diagrams' pictures
};

// What the pages of one run share.
struct RunState {
    WrittenFiles written;
    // A DOT file or a folder of the walk failed: the run fails once it is done.
    std::atomic<bool> failAtEnd{false};
    // The folder part of workDir, opened once: no DOT file leaves it.
    platform::Folder workFolder;
    bool workFolderOpen = false;
    platform::FileIdentity templateFile;
    // The pages made and, with checkLinks, their links.
    LinkCheck links;
    // Makes the diagrams' pictures when they are asked for.
    std::unique_ptr<Pictures> pictures;
    // In a recursive run, the tree the walk goes through.
    std::optional<WalkedTree> walked;
};

// Sets up the run's state for these options: the work folder and the
// template are looked up once.
void startRun(RunState& run, const PageOptions& options);

// When the pictures are asked for: checks that they can be made (the picture
// prefix, the dot program) and starts making them. 1 after reporting why they
// cannot be.
int startPictures(RunState& run, const PageOptions& options, Report& report);
// Waits for the pictures and reports what went wrong with them, after the
// last page; the run then fails at its end.
void finishPictures(RunState& run, Report& report);

// What the pages made one after another on one thread share instead of
// asking for it anew at every page: the read buffers of the source and of
// the stored page, and the block of page bytes on their way to the file.
struct PageScratch {
    std::unique_ptr<char[]> readBuffer;
    std::unique_ptr<char[]> storedBuffer;  // the stored page's, while it is compared
    std::string block;
};

// What converting a page works with: the run's options and shared state, the
// reporter its messages go to, and the translation's state.
struct PageContext {
    const PageOptions& options;
    RunState& run;
    Report& report;
    MarkupContext& markup;
    PageScratch* scratch = nullptr;  // none: each page has its own
};

// The output argument without blanks and tabs at either end.
WString trimBlanks(const WString& text);

// The page name for a source path and the output argument (if any).
WString makeOutputName(const WString& sourcePath, const std::optional<WString>& outputArg);

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
};

// One page on its way, in three steps, each 0 or 1 after a reported failure
// (which ends the run): start() opens the source and decides whether and
// where the page may be written and begins its console line, make()
// generates it, finish() puts it in place (in test mode: compares), stores
// the DOT files it held back and ends the line. convertPage takes the three
// at once; a run on several threads (page_run.h) takes make() on a worker and
// the others in page order.
class PageJob {
public:
    // holdDiagrams: the page's DOT files are stored by finish() instead of
    // as the translation hands them over.
    PageJob(const SourceFile& source, const std::optional<WString>& outputArg, bool holdDiagrams);
    ~PageJob();
    PageJob(const PageJob&) = delete;
    PageJob& operator=(const PageJob&) = delete;

    int start(const PageContext& ctx);
    int make(const PageContext& ctx);
    int finish(const PageContext& ctx);
    // After make() on another thread: an earlier page of the run has written
    // this page's file since start() looked. The page is then converted
    // again, as a run on one thread would have met it.
    bool overtaken() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

// 0 on success, 1 on a reported failure or, in test mode, a difference.
int convertPage(const PageContext& ctx, const SourceFile& source, const std::optional<WString>& outputArg);

// Converts one page onto standard output, from the file at sourcePath or,
// without one, from standard input. 0, or 1 after a reported failure.
int convertToStandardOutput(const PageContext& ctx, const std::optional<WString>& sourcePath);

}  // namespace tarvo
