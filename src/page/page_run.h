// The pages of a run, in the order the walk finds them: one after the other,
// or on several worker threads, which start and make pages side by side but
// finish them one at a time, in page order. The workers take the pages in
// batches of up to kBatch pages of one folder, so that handing pages over
// costs little beside small pages; a worker whose batch is made but not yet
// due goes on with the next one. A batch is finished by the worker that made
// it once it is due, or by another worker that has nothing to make. So a run
// on several threads writes the same files and prints the same lines, in the
// same order, as a run on one:
//
// - A page's start (the source opened, the page's refusals, its "Handling"
//   line) and its making (the page generated into a temporary, or compared)
//   leave nothing anyone sees; its messages are held. Its finish (the page
//   put in place, its DOT files stored, its held messages let out, its line
//   ended) waits until the pages before it are finished.
// - A page whose file an earlier page wrote meanwhile (two sources of one
//   page name) is converted again in its turn, and so meets the refusal a run
//   on one thread gives it.
// - After the first failure no page starts, and no page after it is finished
//   or heard of.
#pragma once

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
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

    // One page onto standard output (convertToStandardOutput).
    int toStandardOutput(const std::optional<WString>& sourcePath) {
        return convertToStandardOutput(contextOf(*spaces_[0], report_), sourcePath);
    }

private:
    static constexpr std::size_t kBatch = 32;
    // Batches given out and not yet finished, at the most: each page holds a
    // file or two open until it is finished, so that 256 pages hold at most
    // 512 descriptors.
    static constexpr std::size_t kMaxBatches = 256 / kBatch;
    struct Job;
    struct Batch;
    // What one thread converts pages with. A worker sets up the pages of
    // the batches it makes and, once they are finished, frees them: the
    // memory goes back to the thread that asked for it.
    struct Workspace {
        explicit Workspace(const MarkupOptions& options);
        ~Workspace();
        MarkupContext markup;
        PageScratch scratch;
        std::vector<std::unique_ptr<Batch>> spent;  // finished, to free (guarded by mutex_)
    };
    PageContext contextOf(Workspace& space, Report& report) {
        return PageContext{options_, run_, report, space.markup, &space.scratch};
    }
    // How many batches may be given out and not yet finished.
    std::size_t room() const { return std::min(kMaxBatches, 4 * workers_.size()); }
    void dispatch();
    void work(Workspace& space);
    bool mayFinish(const Workspace& space) const;
    void finishDue(std::unique_lock<std::mutex>& lock, Workspace& space);
    int finishInTurn(Job& job, Workspace& space);

    const PageOptions options_;
    RunState& run_;
    Report& report_;
    std::vector<std::unique_ptr<Workspace>> spaces_;  // one per thread
    std::vector<std::thread> workers_;
    std::unique_ptr<Batch> gathering_;  // the pages given since the last batch went
    std::mutex mutex_;
    std::condition_variable queued_;  // a batch to make, or the end
    std::condition_variable settled_; // a batch finished
    std::deque<std::unique_ptr<Batch>> toMake_;
    std::map<std::size_t, std::unique_ptr<Batch>> made_;  // made, waiting to be due
    std::size_t sent_ = 0;      // batches handed to the workers, numbered from 0
    std::size_t finished_ = 0;  // batches finished (or dropped): the next one is due
    bool closing_ = false;
    int result_ = 0;  // the first failure ends the run
    std::atomic<bool> stopped_{false};  // result_ is set: no page starts any more
};

}  // namespace tarvo
