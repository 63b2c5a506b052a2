// The worker threads of a run (pages, pictures), and the one way they stop:
// each thread runs its loop, waiting on its owner's condition under its
// owner's mutex, until it sees closing(); stop() sets that, wakes them and
// waits for every one of them to return.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace tarvo {

class Threads {
public:
    Threads() = default;
    Threads(const Threads&) = delete;
    Threads& operator=(const Threads&) = delete;
    // The owner stops its threads before the state they use goes.
    ~Threads() = default;

    // Starts one more thread running loop. False when the system gives no
    // thread: the owner then does the work itself.
    bool start(std::function<void()> loop);
    std::size_t size() const { return threads_.size(); }
    // True once stop() began; read under the owner's mutex.
    bool closing() const { return closing_; }
    // Tells the threads to return once their work is done, wakes those
    // waiting on wake, and waits for them all.
    void stop(std::mutex& mutex, std::condition_variable& wake);

private:
    std::vector<std::thread> threads_;
    bool closing_ = false;
};

}  // namespace tarvo
