// The time service's requests, on a thread of their own, one at a time: the
// service's loop hands a request over and goes on at once, so that a slow
// name resolution (or a key exchange) never keeps it from its controls, a
// stop among them.
#pragma once
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace service {

class RequestWorker {
public:
    explicit RequestWorker(std::function<void()> request);
    RequestWorker(const RequestWorker&) = delete;
    RequestWorker& operator=(const RequestWorker&) = delete;
    ~RequestWorker();

    // Starts the thread; false when none could be made.
    bool start();
    // Hands a request to the thread: false, and dropped, while one is still
    // under way or waiting. A request that is late must not go out right
    // behind the one before it, under the floor between two requests.
    bool ask();
    // No request starts any more; waits for the one under way, if any.
    void stop();

private:
    void run();

    std::function<void()> request_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool busy_ = false;  // asked and not yet done
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace service
