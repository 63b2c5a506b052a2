#include "page/threads.h"

#include <system_error>

namespace tarvo {

bool Threads::start(std::function<void()> loop) {
    try {
        threads_.emplace_back(std::move(loop));
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

void Threads::stop(std::mutex& mutex, std::condition_variable& wake) {
    {
        std::lock_guard<std::mutex> lock(mutex);
        closing_ = true;
    }
    wake.notify_all();
    for (std::thread& thread : threads_) thread.join();
    threads_.clear();
}

}  // namespace tarvo
