// What the handler of a signal that ends the program must undo before the
// program dies (POSIX): the named temporaries that exist, the process groups
// of the programs being run. The handler can reach nothing but globals and
// may not wait for a lock, so each is noted in a slot of a table of atomics
// before it is made and taken out once it is gone.
//
// The other threads go on while the handler runs. So the call that makes an
// item (creates the temporary, starts the program) runs as a Making step:
// with the ending signals blocked on its thread, and only while the handler
// has not begun. The handler first says it has begun (endingBySignal), then
// waits until no step is making, then undoes every item made. A step either
// saw endingBySignal and made nothing, or the handler sees its item made.
#pragma once

#include <pthread.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <new>

namespace tarvo {
namespace platform {

// Set by the handler of a signal that ends the program, before it looks at
// the tables: from then on nothing is made that it would have to undo.
inline constinit std::atomic<bool> endingBySignal{false};

// The signals whose handler undoes what the tables hold.
inline sigset_t endingSignals() {
    sigset_t set;
    ::sigemptyset(&set);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) ::sigaddset(&set, s);
    return set;
}

template <class Item>
class SignalTable;

// One item of a SignalTable, claimed by a thread.
template <class Item>
class SignalSlot {
public:
    Item item;  // filled by the claimer before its Making step

private:
    friend class SignalTable<Item>;
    enum : int { kFree, kClaimed, kMaking, kMade };
    std::atomic<int> state{kFree};
};

// A table of up to 65,536 slots, far more than can be under way at once:
// chunks of 256 made as the ones before fill up, never freed, and read by
// the handler without a lock.
template <class Item>
class SignalTable {
public:
    using Slot = SignalSlot<Item>;

    // A free slot for an item about to be made, or nullptr when the table is
    // full (an item then made is not undone on a signal).
    Slot* claim() {
        for (std::atomic<Chunk*>& place : chunks_) {
            Chunk* chunk = place.load();
            if (!chunk) {
                Chunk* made = new (std::nothrow) Chunk();
                if (!made) return nullptr;
                if (place.compare_exchange_strong(chunk, made)) chunk = made;
                else delete made;  // another thread's came first: chunk is that one
            }
            for (Slot& slot : chunk->slots) {
                int free = kFree;
                if (slot.state.compare_exchange_strong(free, kClaimed)) return &slot;
            }
        }
        return nullptr;
    }

    // Runs make(), the call that makes the slot's item, as a Making step:
    // true when it made it, and the item then stays in the table until
    // release. Once the handler has begun, nothing is made: the thread waits
    // for the end of the program.
    template <class Make>
    bool makeNoted(Slot* slot, Make make) {
        if (!slot) return make();
        const sigset_t ending = endingSignals();
        sigset_t before;
        ::pthread_sigmask(SIG_BLOCK, &ending, &before);
        slot->state.store(kMaking);
        if (endingBySignal.load()) {
            slot->state.store(kFree);
            for (;;) ::pause();  // the handler ends the program
        }
        const bool made = make();
        const int error = errno;  // what make() met, for the caller
        slot->state.store(made ? kMade : kClaimed);
        ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
        errno = error;
        return made;
    }

    // The item is gone (or was never made): the slot is free again.
    void release(Slot*& slot) {
        if (slot) slot->state.store(kFree);
        slot = nullptr;
    }

    // For the handler, after it has set endingBySignal: calls undo for every
    // item made, once the Making steps under way have ended (waiting at most
    // about two seconds for all of them together). Async-signal-safe.
    template <class Undo>
    void undoAll(Undo undo) {
        timespec start;
        ::clock_gettime(CLOCK_MONOTONIC, &start);
        for (std::atomic<Chunk*>& place : chunks_) {
            Chunk* chunk = place.load();
            if (!chunk) continue;
            for (Slot& slot : chunk->slots) {
                while (slot.state.load() == kMaking && !pastTwoSeconds(start)) {
                    const timespec pause{0, 1000000};
                    ::nanosleep(&pause, nullptr);
                }
                if (slot.state.load() == kMade) undo(slot.item);
            }
        }
    }

private:
    static constexpr int kFree = Slot::kFree, kClaimed = Slot::kClaimed, kMaking = Slot::kMaking,
                         kMade = Slot::kMade;
    struct Chunk {
        Slot slots[256];
    };

    static bool pastTwoSeconds(const timespec& start) {
        timespec now;
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        return now.tv_sec - start.tv_sec > 2;
    }

    std::atomic<Chunk*> chunks_[256] = {};
};

}  // namespace platform
}  // namespace tarvo
