#include "page/page_workers.h"

#include <algorithm>

namespace tarvo {

struct PageWorkers::Batch {
    std::size_t number = 0;
    std::vector<std::unique_ptr<QueuedPage>> pages;
    Worker* maker = nullptr;
};

PageWorkers::Worker::Worker(const MarkupOptions& markup) : space(markup) {}
PageWorkers::Worker::~Worker() = default;

PageWorkers::PageWorkers(Steps& steps, unsigned threads, const MarkupOptions& markup, std::size_t pagesWaiting)
    : steps_(steps) {
    for (unsigned i = 0; i < threads; ++i) workers_.push_back(std::make_unique<Worker>(markup));
    for (auto& worker : workers_)
        if (!threads_.start([this, w = worker.get()] { work(*w); })) break;
    batchesOutMost_ = std::clamp<std::size_t>(pagesWaiting / kBatch, 1, std::min(kMaxBatches, 4 * workers()));
}

PageWorkers::~PageWorkers() { threads_.stop(mutex_, queued_); }

bool PageWorkers::add(std::unique_ptr<QueuedPage> page) {
    if (gathering_ && (gathering_->pages.size() == kBatch || gathering_->pages.back()->folder != page->folder))
        dispatch();
    if (!gathering_) gathering_ = std::make_unique<Batch>();
    gathering_->pages.push_back(std::move(page));
    std::lock_guard<std::mutex> lock(mutex_);
    return ok_;
}

// Hands the pages gathered so far to the workers.
void PageWorkers::dispatch() {
    if (!gathering_) return;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        concluded_.wait(lock, [&] { return sent_ - concludedCount_ < batchesOutMost(); });
        gathering_->number = sent_++;
        toMake_.push_back(std::move(gathering_));
    }
    queued_.notify_one();
}

bool PageWorkers::drain() {
    dispatch();
    std::unique_lock<std::mutex> lock(mutex_);
    concluded_.wait(lock, [&] { return concludedCount_ == sent_; });
    return ok_;
}

void PageWorkers::work(Worker& worker) {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        queued_.wait(lock, [&] { return threads_.closing() || !toMake_.empty() || mayConclude(worker); });
        if (mayConclude(worker)) {
            concludeDue(lock, worker);
            continue;
        }
        if (toMake_.empty()) return;
        std::unique_ptr<Batch> batch = std::move(toMake_.front());
        toMake_.pop_front();
        batch->maker = &worker;
        std::vector<std::unique_ptr<Batch>> toFree = std::move(worker.toFree);
        worker.toFree.clear();
        lock.unlock();
        toFree.clear();
        for (auto& page : batch->pages) {
            if (stopped_) break;  // no page starts after a failed one
            if (!steps_.prepare(*page, worker.space)) break;  // the run ends at this page: none after it starts
        }
        lock.lock();
        made_.emplace(batch->number, std::move(batch));
    }
}

// Whether this worker concludes the batch due next: a batch is concluded by
// the worker that made it, where its memory and files were last touched, or
// by one that has nothing to make meanwhile.
bool PageWorkers::mayConclude(const Worker& worker) const {
    const auto due = made_.find(concludedCount_);
    return due != made_.end() && (due->second->maker == &worker || toMake_.empty());
}

// Concludes batches while they are due, one after the other. The batch due
// is taken out of made_ until it is concluded and counted, so no other
// thread concludes a page meanwhile.
void PageWorkers::concludeDue(std::unique_lock<std::mutex>& lock, Worker& worker) {
    while (mayConclude(worker)) {
        const auto due = made_.find(concludedCount_);
        std::unique_ptr<Batch> batch = std::move(due->second);
        made_.erase(due);
        bool ok = ok_;
        lock.unlock();
        for (auto& page : batch->pages) {
            if (!ok) break;
            ok = steps_.conclude(*page, worker.space);
        }
        steps_.batchConcluded();
        lock.lock();
        batch->maker->toFree.push_back(std::move(batch));
        ok_ = ok_ && ok;
        stopped_ = !ok_;
        ++concludedCount_;
        // The walk, waiting for room, is woken once half the room is free
        // rather than at every batch: each waking costs both processors.
        if (sent_ - concludedCount_ <= batchesOutMost() / 2) concluded_.notify_all();
    }
    // The batch due now, if made, is another worker's.
    if (made_.count(concludedCount_)) queued_.notify_all();
}

}  // namespace tarvo
