#include "server_call_thread.h"

#include <thread>

namespace winmm {

ServerCallThread::ServerCallThread() : shared_(std::make_shared<Shared>()) {
    // Detached: a thread stuck in a stalled server must not hold up the
    // process's end.
    std::thread(Serve, shared_).detach();
}

ServerCallThread::~ServerCallThread() {
    std::lock_guard<std::mutex> hold(shared_->lock);
    shared_->finishing = true;
    shared_->queued.notify_all();
}

void ServerCallThread::Post(std::function<void()> call) {
    std::lock_guard<std::mutex> hold(shared_->lock);
    shared_->calls.push_back(std::move(call));
    shared_->queued.notify_all();
}

void ServerCallThread::Serve(std::shared_ptr<Shared> shared) {
    for (;;) {
        std::function<void()> call;
        {
            std::unique_lock<std::mutex> hold(shared->lock);
            shared->queued.wait(hold, [&] { return !shared->calls.empty() || shared->finishing; });
            if (shared->calls.empty()) {
                return;
            }
            call = std::move(shared->calls.front());
            shared->calls.pop_front();
        }
        call();
    }
}

}  // namespace winmm
