// A thread of its own for calls that wait for another process (the JACK
// server) and may never come back when that process stalls. The caller waits
// for each call only until a deadline; a call that missed it stays on this
// thread, which then is never waited for again (and is never joined, not
// even at exit).
#ifndef VELMORA_PLATFORM_WINMM_SERVER_CALL_THREAD_H
#define VELMORA_PLATFORM_WINMM_SERVER_CALL_THREAD_H

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace winmm {

class ServerCallThread {
  public:
    using Clock = std::chrono::steady_clock;

    ServerCallThread();
    ServerCallThread(const ServerCallThread&) = delete;
    ServerCallThread& operator=(const ServerCallThread&) = delete;
    // Lets the thread end once its queue is empty; does not wait for it.
    ~ServerCallThread();

    // Queues call behind those queued before; returns at once.
    void Post(std::function<void()> call);

    // Runs call on the thread and gives its result; false when it had not
    // returned by the deadline (then result is left as it was, and call may
    // still run later).
    template <typename Result, typename Call>
    bool Run(Result& result, Call call, Clock::time_point deadline) {
        struct Outcome {
            bool done = false;
            Result value{};
        };
        auto outcome = std::make_shared<Outcome>();
        auto shared = shared_;
        Post([outcome, shared, call] {
            Result value = call();
            std::lock_guard<std::mutex> hold(shared->lock);
            outcome->value = value;
            outcome->done = true;
            shared->returned.notify_all();
        });
        std::unique_lock<std::mutex> hold(shared_->lock);
        if (!shared_->returned.wait_until(hold, deadline, [&] { return outcome->done; })) {
            return false;
        }
        result = outcome->value;
        return true;
    }

  private:
    // Outlives this object while the thread runs.
    struct Shared {
        std::mutex lock;
        std::condition_variable queued;
        std::condition_variable returned;
        // Written by the posting threads and the call thread, under lock.
        std::deque<std::function<void()>> calls;
        bool finishing = false;
    };
    static void Serve(std::shared_ptr<Shared> shared);

    std::shared_ptr<Shared> shared_;
};

}  // namespace winmm

#endif
