// One run over the pages the command line names. The Run owns everything its
// pages share (the record of the files written, the work folder, the files a
// walk converts, the link check, the pictures) and the pages under way, on
// this thread or on workers; and it is the one place that says what went
// wrong (through Report) and decides what follows: stop at once (a page that
// failed), go on and fail at the end (a DOT file, a folder of the walk, a
// picture), or go on.
//
//   Run run(options, report);
//   if (run.start()) { run.add(...); ... }
//   return run.finish();
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "page/page_context.h"
#include "page/page_converter.h"
#include "page/report.h"

namespace tarvo {

struct RunOptions {
    PageOptions page;
    std::optional<WString> output;  // the output argument, if any (its end blanks do not count)
    unsigned jobs = 1;              // pages made at once
};

class Run {
public:
    Run(RunOptions options, Report& report);
    ~Run();
    Run(const Run&) = delete;
    Run& operator=(const Run&) = delete;

    // Makes ready what the pages need: the pictures' program, the output and
    // work folders, the template. False after saying why the run cannot
    // begin; then nothing is made.
    bool start();
    // In a recursive run: the files the walk converts, which nothing the
    // run writes may replace.
    void protectWalkedFiles(std::unique_ptr<SourceRule> walked);
    // Converts the source, in its turn. folder and siblings are kept alive
    // while the page needs them. False once the run has stopped at a page
    // that failed: nothing more is converted.
    bool add(const SourceFile& source, std::shared_ptr<const platform::Folder> folder,
             std::shared_ptr<const std::vector<platform::FileIdentity>> siblings);
    // Converts one page onto standard output, from the file at sourcePath or
    // from standard input.
    bool addToStandardOutput(const std::optional<WString>& sourcePath);
    // A folder of the walk that cannot be read, said after the pages before
    // it: the run goes on and fails at its end. False when one of those
    // pages stopped the run.
    bool folderUnreadable(const WString& path);
    // The input names nothing to convert: said, and the run fails.
    void nothingMatches(const WString& pathPattern);
    // Waits for the pages under way, says what went wrong with the pictures
    // and, unless the run stopped, which links lead nowhere. The exit status.
    int finish();

private:
    class Pages;
    bool convertNow(PageJob& job, Workspace& space);
    bool conclude(PageJob& job, Workspace& space);
    void sayDiagramTroubles(PageJob& job);
    bool refuse(PageJob& job, const Trouble& trouble);
    bool stop(const Trouble& trouble);
    PageContext contextOf(Workspace& space) { return PageContext{options_.page, shared_, space}; }

    const RunOptions options_;
    Report& report_;
    PageShared shared_;
    platform::Folder workFolder_;
    platform::Folder outputFolder_;
    std::unique_ptr<SourceRule> walked_;
    std::unique_ptr<LinkCheck> links_;
    std::unique_ptr<Pictures> pictures_;
    Workspace space_;  // this thread's
    std::unique_ptr<Pages> pages_;  // the workers, with jobs > 1, from the second page on
    unsigned workersWanted_ = 1;
    std::size_t pagesWaiting_ = 0;
    bool firstPageAdded_ = false;
    bool started_ = false;
    bool stopped_ = false;     // a page failed: nothing more is converted
    bool failAtEnd_ = false;   // the run goes on, and fails once it is done
};

}  // namespace tarvo
