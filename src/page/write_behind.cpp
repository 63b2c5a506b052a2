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
    changed_.wait(lock, [&] { return waiting_.size() < kPiecesWaiting; });
    std::string piece;
    if (!spare_.empty()) {
        piece = std::move(spare_.back());
        spare_.pop_back();
    }
    piece.assign(bytes);
    waiting_.push_back(std::move(piece));
    lock.unlock();
    changed_.notify_all();
}

void WriteBehind::write() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return writer_.closing() || !waiting_.empty(); });
        if (waiting_.empty()) return;
        std::string piece = std::move(waiting_.front());
        waiting_.pop_front();
        lock.unlock();
        next_.take(piece);
        lock.lock();
        spare_.push_back(std::move(piece));
        changed_.notify_all();
    }
}

void WriteBehind::finish() { writer_.stop(mutex_, changed_); }

}  // namespace tarvo
