// A page's bytes passed on to the sink that writes (or compares) them, and,
// once the page has shown itself to be long, on a thread of its own: the
// file is written while the rest of the page is made, on another processor,
// instead of between its pieces.
#pragma once

#include <array>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>

#include "io/page_output.h"
#include "page/threads.h"

namespace tarvo {

class WriteBehind final : public ByteSink {
public:
    explicit WriteBehind(ByteSink& next) : next_(next) {}
    ~WriteBehind() { finish(); }
    WriteBehind(const WriteBehind&) = delete;
    WriteBehind& operator=(const WriteBehind&) = delete;

    void take(std::string_view bytes) override;
    // Returns once every byte taken has reached the next sink.
    void finish();

private:
    // Pieces taken on this thread before the writing moves to its own: a
    // short page, nearly every page, costs no thread.
    static constexpr std::size_t kPiecesHere = 4;
    // Pieces waiting for the writing thread, at the most.
    static constexpr std::size_t kPiecesWaiting = 4;

    void write();

    ByteSink& next_;
    std::size_t piecesTaken_ = 0;
    std::mutex mutex_;
    std::condition_variable changed_;
    // The pieces waiting, from ring_[first_] on, in strings that keep their
    // memory for the next ones (and ask none for a page that stays short).
    std::array<std::string, kPiecesWaiting> ring_;
    std::size_t first_ = 0;
    std::size_t waiting_ = 0;
    Threads writer_;
};

}  // namespace tarvo
