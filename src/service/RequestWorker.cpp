#include "service/RequestWorker.h"

#include <system_error>

namespace service {

RequestWorker::RequestWorker(std::function<void()> request) : request_(std::move(request)) {}

RequestWorker::~RequestWorker() { stop(); }

bool RequestWorker::start() {
    if (thread_.joinable()) return true;
    try {
        thread_ = std::thread(&RequestWorker::run, this);
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

bool RequestWorker::ask() {
    std::lock_guard<std::mutex> hold(mutex_);
    if (busy_ || stopping_ || !thread_.joinable()) return false;
    busy_ = true;
    wake_.notify_one();
    return true;
}

void RequestWorker::stop() {
    {
        std::lock_guard<std::mutex> hold(mutex_);
        stopping_ = true;
        wake_.notify_one();
    }
    if (thread_.joinable()) thread_.join();
}

void RequestWorker::run() {
    std::unique_lock<std::mutex> hold(mutex_);
    for (;;) {
        wake_.wait(hold, [this] { return busy_ || stopping_; });
        if (stopping_) return;
        hold.unlock();
        try {
            request_();
        } catch (...) {
            // A request keeps its failures in its record; whatever else it
            // throws must not end the service. The next poll asks again.
        }
        hold.lock();
        busy_ = false;
    }
}

}  // namespace service
