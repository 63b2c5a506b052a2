#include "page/write_behind.h"

namespace tarvo {

void WriteBehind::take(std::string_view bytes) {
    if (++piecesTaken_ <= kPiecesHere) {
        next_.take(bytes);
        return;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    if (writer_.size() == 0 && !writer_.start([this] { write(); })) {
        lock.unlock();
        next_.take(bytes);  // no thread to be had: written here
        return;
    }
    changed_.wait(lock, [&] { return waiting_ < kPiecesWaiting; });
    ring_[(first_ + waiting_) % kPiecesWaiting].assign(bytes);
    ++waiting_;
    lock.unlock();
    changed_.notify_all();
}

void WriteBehind::write() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return writer_.closing() || waiting_ > 0; });
        if (waiting_ == 0) return;
        // The first piece stays counted while it is written: take() fills
        // only the others.
        const std::string& piece = ring_[first_];
        lock.unlock();
        next_.take(piece);
        lock.lock();
        first_ = (first_ + 1) % kPiecesWaiting;
        --waiting_;
        changed_.notify_all();
    }
}

void WriteBehind::finish() { writer_.stop(mutex_, changed_); }

}  // namespace tarvo
