#include "page/page_run.h"

namespace tarvo {

struct PageRun::Job {
    Job(const SourceFile& s, std::shared_ptr<const platform::Folder> f,
        std::shared_ptr<const std::vector<platform::FileIdentity>> list, const std::optional<WString>& output)
        : folder(std::move(f)),
          siblings(std::move(list)),
          source{*folder, s.path, s.nameStart, s.identity, siblings.get()},
          outputArg(output),
          page(source, outputArg, true) {}

    std::shared_ptr<const platform::Folder> folder;
    std::shared_ptr<const std::vector<platform::FileIdentity>> siblings;
    SourceFile source;
    std::optional<WString> outputArg;
    PageJob page;
    Report report{Report::Mode::Hold};
    bool made = false;  // make() is over (or was never to come)
    int result = 0;
};

PageRun::PageRun(const PageOptions& options, RunState& run, Report& report, unsigned threads)
    : options_(options), run_(run), report_(report) {
    // The first is the calling thread's; each worker has one of its own.
    markups_.push_back(std::make_unique<MarkupContext>(options_.markup));
    if (threads <= 1) return;
    for (unsigned i = 0; i < threads; ++i) {
        markups_.push_back(std::make_unique<MarkupContext>(options_.markup));
        MarkupContext& markup = *markups_.back();
        workers_.emplace_back([this, &markup] { work(markup); });
    }
}

PageRun::~PageRun() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closing_ = true;
        toMake_.clear();
    }
    queued_.notify_all();
    for (std::thread& worker : workers_) worker.join();
}

int PageRun::add(const SourceFile& source, std::shared_ptr<const platform::Folder> folder,
                 std::shared_ptr<const std::vector<platform::FileIdentity>> siblings,
                 const std::optional<WString>& outputArg) {
    if (result_ != 0) return result_;
    if (workers_.empty()) {
        result_ = convertPage(PageContext{options_, run_, report_, *markups_[0]}, source, outputArg);
        return result_;
    }
    auto job = std::make_shared<Job>(source, std::move(folder), std::move(siblings), outputArg);
    const bool started = job->page.start(PageContext{options_, run_, job->report, *markups_[0]}) == 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        pending_.push_back(job);
        if (started) {
            toMake_.push_back(job);
        } else {
            job->result = 1;
            job->made = true;
        }
    }
    if (!started) return settle();  // the run ends with this page
    queued_.notify_one();
    // Finish what is done; keep at most two pages a thread under way.
    while (result_ == 0 && !pending_.empty() && (pending_.size() > 2 * workers_.size() || firstMade())) finishNext();
    return result_;
}

bool PageRun::firstMade() {
    std::lock_guard<std::mutex> lock(mutex_);
    return pending_.front()->made;
}

int PageRun::settle() {
    while (result_ == 0 && !pending_.empty()) finishNext();
    return result_;
}

// Finishes the first page under way once it is made.
int PageRun::finishNext() {
    std::shared_ptr<Job> job;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        made_.wait(lock, [&] { return pending_.front()->made; });
        job = std::move(pending_.front());
        pending_.pop_front();
    }
    const PageContext here{options_, run_, report_, *markups_[0]};
    if (job->result == 0 && job->page.overtaken()) {
        // An earlier page wrote this page's file meanwhile: what was made is
        // dropped, and the page converted as a run on one thread meets it.
        result_ = convertPage(here, job->source, job->outputArg);
    } else {
        job->report.releaseInto(report_);
        result_ = job->result != 0 ? job->result : job->page.finish(here);
    }
    if (result_ != 0) {
        // No page after a failed one starts, and none is heard of.
        std::lock_guard<std::mutex> lock(mutex_);
        toMake_.clear();
        pending_.clear();
    }
    return result_;
}

void PageRun::work(MarkupContext& markup) {
    for (;;) {
        std::shared_ptr<Job> job;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            queued_.wait(lock, [&] { return closing_ || !toMake_.empty(); });
            if (toMake_.empty()) return;
            job = std::move(toMake_.front());
            toMake_.pop_front();
        }
        job->result = job->page.make(PageContext{options_, run_, job->report, markup});
        {
            std::lock_guard<std::mutex> lock(mutex_);
            job->made = true;
        }
        made_.notify_all();
    }
}

}  // namespace tarvo
