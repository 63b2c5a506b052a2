// The pages of a run, in the order the walk finds them: one after the other,
// or with several threads, each page made on a worker while the next ones
// start. Either way every page is started, finished and reported in the
// order it was given, so that a run on several threads writes the same
// files and prints the same lines, in the same order, as a run on one:
//
// - start() (the source opened, the page's refusals, its "Handling" line)
//   and finish() (the page put in place, its DOT files stored, its line
//   ended) run on the calling thread, in page order; only the generation
//   between them runs on a worker. A page's messages are held until the
//   pages before it are out.
// - A page whose file an earlier page wrote meanwhile (two sources of one
//   page name) is converted again once the earlier pages are done, and so
//   meets the refusal a run on one thread gives it.
// - After the first failure no page starts, and no page after it is finished
//   or heard of.
#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "page/page_converter.h"

namespace tarvo {

class PageRun {
public:
    // threads: how many pages are made at once; 1 makes them one after the
    // other on the calling thread.
    PageRun(const PageOptions& options, RunState& run, Report& report, unsigned threads);
    ~PageRun();
    PageRun(const PageRun&) = delete;
    PageRun& operator=(const PageRun&) = delete;

    const PageOptions& options() const { return options_; }

    // Converts the source. folder and siblings are kept alive for as long as
    // the page needs them. Nonzero once the run has stopped at a failed page
    // (reported): nothing more is converted.
    int add(const SourceFile& source, std::shared_ptr<const platform::Folder> folder,
            std::shared_ptr<const std::vector<platform::FileIdentity>> siblings,
            const std::optional<WString>& outputArg);
    // Waits for the pages under way and lets their messages out, so that
    // what is reported next comes after them. Nonzero when one failed.
    int settle();

private:
    struct Job;
    void work(MarkupContext& markup);
    bool firstMade();
    int finishNext();

    const PageOptions options_;
    RunState& run_;
    Report& report_;
    std::vector<std::unique_ptr<MarkupContext>> markups_;  // one per thread
    std::vector<std::thread> workers_;
    std::mutex mutex_;
    std::condition_variable queued_;  // a job for the workers, or the end
    std::condition_variable made_;    // a job made
    std::deque<std::shared_ptr<Job>> pending_;  // started, in page order
    std::deque<std::shared_ptr<Job>> toMake_;
    bool closing_ = false;
    int result_ = 0;  // the first failure ends the run
};

}  // namespace tarvo
