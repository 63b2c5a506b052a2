#include "page/page_run.h"

#include <algorithm>

namespace tarvo {

struct PageRun::Job {
    Job(const SourceFile& s, std::shared_ptr<const platform::Folder> f,
        std::shared_ptr<const std::vector<platform::FileIdentity>> list, const std::optional<WString>& output)
        : folder(std::move(f)),
          siblings(std::move(list)),
          source{*folder, s.path, s.nameStart, s.identity, siblings.get(), s.folderIdentity},
          outputArg(output) {}

    std::shared_ptr<const platform::Folder> folder;
    std::shared_ptr<const std::vector<platform::FileIdentity>> siblings;
    SourceFile source;
    std::optional<WString> outputArg;
    std::optional<PageJob> page;  // set up by the worker that makes it
    Report report{Report::Mode::Hold};
    int made = 1;  // what start() and make() gave; 1 when they did not run
};

struct PageRun::Batch {
    std::size_t number = 0;
    std::vector<std::unique_ptr<Job>> pages;
    Workspace* maker = nullptr;
};

PageRun::Workspace::Workspace(const MarkupOptions& options) : markup(options) {}
PageRun::Workspace::~Workspace() = default;

PageRun::PageRun(const PageOptions& options, RunState& run, Report& report, unsigned threads)
    : options_(options), run_(run), report_(report) {
    // The first is the calling thread's; each worker has one of its own.
    spaces_.push_back(std::make_unique<Workspace>(options_.markup));
    // Lines nobody watches go out in large pieces rather than one at a time;
    // a message to standard error lets out the lines before it first.
    if (threads > 1 || !platform::outputIsTerminal()) report_.gatherLines();
    if (threads <= 1) return;
    for (unsigned i = 0; i < threads; ++i) {
        spaces_.push_back(std::make_unique<Workspace>(options_.markup));
        Workspace& space = *spaces_.back();
        workers_.emplace_back([this, &space] { work(space); });
    }
}

PageRun::~PageRun() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closing_ = true;
    }
    queued_.notify_all();
    for (std::thread& worker : workers_) worker.join();
}

int PageRun::add(const SourceFile& source, std::shared_ptr<const platform::Folder> folder,
                 std::shared_ptr<const std::vector<platform::FileIdentity>> siblings,
                 const std::optional<WString>& outputArg) {
    if (workers_.empty()) {
        if (result_ == 0) result_ = convertPage(contextOf(*spaces_[0], report_), source, outputArg);
        return result_;
    }
    if (gathering_ && (gathering_->pages.size() == kBatch || gathering_->pages.back()->folder != folder)) dispatch();
    if (!gathering_) gathering_ = std::make_unique<Batch>();
    gathering_->pages.push_back(std::make_unique<Job>(source, std::move(folder), std::move(siblings), outputArg));
    std::lock_guard<std::mutex> lock(mutex_);
    return result_;
}

// Hands the pages gathered so far to the workers.
void PageRun::dispatch() {
    if (!gathering_) return;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        settled_.wait(lock, [&] { return sent_ - finished_ < room(); });
        gathering_->number = sent_++;
        toMake_.push_back(std::move(gathering_));
    }
    queued_.notify_one();
}

int PageRun::settle() {
    dispatch();
    std::unique_lock<std::mutex> lock(mutex_);
    settled_.wait(lock, [&] { return finished_ == sent_; });
    return result_;
}

void PageRun::work(Workspace& space) {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        queued_.wait(lock, [&] { return closing_ || !toMake_.empty() || mayFinish(space); });
        if (mayFinish(space)) {
            finishDue(lock, space);
            continue;
        }
        if (toMake_.empty()) return;
        std::unique_ptr<Batch> batch = std::move(toMake_.front());
        toMake_.pop_front();
        batch->maker = &space;
        std::vector<std::unique_ptr<Batch>> spent = std::move(space.spent);
        space.spent.clear();
        lock.unlock();
        spent.clear();
        for (auto& job : batch->pages) {
            if (stopped_) break;  // no page starts after a failed one
            const PageContext ctx = contextOf(space, job->report);
            PageJob& page = job->page.emplace(job->source, job->outputArg, true);
            job->made = page.start(ctx);
            if (job->made == 0) job->made = page.make(ctx);
            if (job->made != 0) break;  // the run ends at this page: none after it starts
        }
        lock.lock();
        made_.emplace(batch->number, std::move(batch));
    }
}

// Whether this worker finishes the batch due next: a batch is finished by
// the worker that made it, where its memory and files were last touched, or
// by one that has nothing to make meanwhile.
bool PageRun::mayFinish(const Workspace& space) const {
    const auto due = made_.find(finished_);
    return due != made_.end() && (due->second->maker == &space || toMake_.empty());
}

// Finishes batches while they are due, one after the other. The batch due is
// taken out of made_ until it is finished and counted, so no other thread
// finishes a page or prints meanwhile.
void PageRun::finishDue(std::unique_lock<std::mutex>& lock, Workspace& space) {
    while (mayFinish(space)) {
        const auto due = made_.find(finished_);
        std::unique_ptr<Batch> batch = std::move(due->second);
        made_.erase(due);
        int result = result_;
        lock.unlock();
        for (auto& job : batch->pages) {
            if (result != 0) break;
            result = finishInTurn(*job, space);
        }
        report_.flush();
        lock.lock();
        batch->maker->spent.push_back(std::move(batch));
        if (result_ == 0) result_ = result;
        stopped_ = result_ != 0;
        ++finished_;
        // The walk, waiting for room, is woken once half the room is free
        // rather than at every batch: each waking costs both processors.
        if (sent_ - finished_ <= room() / 2) settled_.notify_all();
    }
    // The batch due now, if made, is another worker's.
    if (made_.count(finished_)) queued_.notify_all();
}

int PageRun::finishInTurn(Job& job, Workspace& space) {
    const PageContext here = contextOf(space, report_);
    if (job.made == 0 && job.page->overtaken()) {
        // An earlier page wrote this page's file meanwhile: what was made is
        // dropped, and the page converted as a run on one thread meets it.
        return convertPage(here, job.source, job.outputArg);
    }
    job.report.releaseInto(report_);
    return job.made != 0 ? job.made : job.page->finish(here);
}

}  // namespace tarvo
