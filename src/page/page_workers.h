// The pages of a run made on several worker threads, which start and make
// pages side by side but conclude them (put them in place, say them) one at
// a time, in the order they were given. The workers take the pages in
// batches of up to kBatch pages of one folder, so that handing pages over
// costs little beside small pages; a worker whose batch is made but not yet
// due goes on with the next one. A batch is concluded by the worker that
// made it once it is due, or by another worker that has nothing to make.
//
// So a run on several threads writes the same files and says the same
// lines, in the same order, as a run on one: a page's start and making leave
// nothing anyone sees, and after the first page that stops the run no page
// starts, and none after it is concluded.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "page/page_converter.h"
#include "page/threads.h"

namespace tarvo {

// A page handed to the workers, with what keeps its source's folder and its
// siblings alive until it is concluded.
struct QueuedPage {
    QueuedPage(const SourceFile& s, std::shared_ptr<const platform::Folder> f,
               std::shared_ptr<const std::vector<platform::FileIdentity>> list)
        : folder(std::move(f)),
          siblings(std::move(list)),
          source{*folder, s.path, s.nameStart, s.identity, siblings.get(), s.folderIdentity, s.keptFrom} {}

    std::shared_ptr<const platform::Folder> folder;
    std::shared_ptr<const std::vector<platform::FileIdentity>> siblings;
    SourceFile source;
    std::optional<PageJob> job;  // set up by the worker that makes it
    bool prepared = false;       // start and make ran
    Trouble started, made;       // what they gave
};

class PageWorkers {
public:
    // What is done with each page.
    class Steps {
    public:
        // On a worker: starts and makes the page. False when the run ends at
        // it: no later page starts.
        virtual bool prepare(QueuedPage& page, Workspace& space) = 0;
        // In page order: concludes the page. False when the run stops at it.
        virtual bool conclude(QueuedPage& page, Workspace& space) = 0;
        // A batch of pages was concluded: what they said may go out.
        virtual void batchConcluded() = 0;

    protected:
        ~Steps() = default;
    };

    // Starts up to `threads` workers (fewer when the system gives fewer);
    // none at all leaves workers() at 0. At most about pagesWaiting pages
    // are handed over and not yet concluded (each holds a file or two open
    // until then), and never fewer than one batch.
    PageWorkers(Steps& steps, unsigned threads, const MarkupOptions& markup, std::size_t pagesWaiting);
    ~PageWorkers();
    PageWorkers(const PageWorkers&) = delete;
    PageWorkers& operator=(const PageWorkers&) = delete;

    std::size_t workers() const { return threads_.size(); }
    // Hands the page over. False once the run has stopped: nothing more is
    // made.
    bool add(std::unique_ptr<QueuedPage> page);
    // Waits for every page handed over to be concluded. False when the run
    // has stopped.
    bool drain();

private:
    static constexpr std::size_t kBatch = 32;
    // Batches given out and not yet concluded, at the most: more would keep
    // no worker busier.
    static constexpr std::size_t kMaxBatches = 256 / kBatch;
    struct Batch;
    struct Worker {
        explicit Worker(const MarkupOptions& markup);
        ~Worker();
        Workspace space;
        // Batches it made and others concluded, to free here: the memory
        // goes back to the thread that asked for it (guarded by mutex_).
        std::vector<std::unique_ptr<Batch>> toFree;
    };

    std::size_t batchesOutMost() const { return batchesOutMost_; }
    void dispatch();
    void work(Worker& worker);
    bool mayConclude(const Worker& worker) const;
    void concludeDue(std::unique_lock<std::mutex>& lock, Worker& worker);

    Steps& steps_;
    std::size_t batchesOutMost_ = 1;
    std::vector<std::unique_ptr<Worker>> workers_;
    std::unique_ptr<Batch> gathering_;  // the pages given since the last batch went
    std::mutex mutex_;
    std::condition_variable queued_;    // a batch to make, or the end
    std::condition_variable concluded_; // a batch concluded
    std::deque<std::unique_ptr<Batch>> toMake_;
    std::map<std::size_t, std::unique_ptr<Batch>> made_;  // made, waiting to be due
    std::size_t sent_ = 0;       // batches handed to the workers, numbered from 0
    std::size_t concludedCount_ = 0;  // batches concluded (or dropped): the next one is due
    bool ok_ = true;                  // false once a page stopped the run
    std::atomic<bool> stopped_{false};  // the same, for workers about to start a page
    Threads threads_;
};

}  // namespace tarvo
