#include "service/ServiceRun.h"

#include <chrono>
#include <new>

#include "errors/Exceptions.h"
#include "net/Receive.h"
#include "net/Request.h"
#include "service/RequestWorker.h"

namespace service {
namespace {

// A failing step that left no error of its own still says that it failed.
std::uint32_t errorOrInternal(int code) { return code != 0 ? static_cast<std::uint32_t>(code) : kInternalError; }

}  // namespace

ServiceRun::ServiceRun(ServiceHost& host, ProfileStore& store, TimeService::ClockReader readClockUs)
    : host_(host), store_(store), readClockUs_(std::move(readClockUs)) {}

bool ServiceRun::control(std::uint32_t code, std::uint32_t eventType) {
    std::lock_guard<std::mutex> hold(mutex_);
    switch (code) {
        case controls::kStop:
        case controls::kShutdown:
            stopAsked_ = true;
            break;
        case controls::kInterrogate:
            return true;
        case kControlSyncNow:
            nowAsked_ = true;
            break;
        case controls::kTimeChange:
            timeChanged_ = true;
            break;
        case controls::kPowerEvent:
            // Taken whatever the event; only a resume may have moved the clock.
            if (eventType != controls::kResumeAutomatic && eventType != controls::kResumeSuspend) return true;
            resumed_ = true;
            break;
        default:
            return false;
    }
    wake_.notify_one();
    return true;
}

Stop ServiceRun::run() {
    return ended([this] { return startAndServe(); });
}

Stop ServiceRun::serve(CSocket& socket) {
    return ended([this, &socket] { return loop(socket); });
}

template <typename Work>
Stop ServiceRun::ended(Work work) {
    Stop stop;
    try {
        stop = work();
    } catch (CExc failure) {
        // CSocketException among them: neither derives from std::exception.
        stop = {StopCause::Exception, errorOrInternal(failure.code)};
    } catch (const std::bad_alloc&) {
        stop = {StopCause::Exception, kOutOfMemoryError};
    } catch (...) {
        stop = {StopCause::Exception, kInternalError};
    }
    // Without its mapping there is nowhere to say it.
    if (stop.cause == StopCause::None || stop.cause == StopCause::Publishing) return stop;
    Result last;
    last.when = currentSeconds();
    last.server = settings_.timeServer;
    last.stopped = stop.cause;
    last.error = stop.error;
    try {
        publish(last);
    } catch (...) {
        // No memory for the text: the stop is still reported.
    }
    return stop;
}

Stop ServiceRun::startAndServe() {
    if (std::uint32_t error = host_.openPublishing()) return {StopCause::Publishing, error};
    settings_ = loadSettings(store_);
    if (std::uint32_t error = host_.limitPrivileges()) return {StopCause::Privileges, error};
    CWinsockInit winsock(2, 2);
    CSocket socket(kSockDgram, 0, kAfInet);
    try {
        winsock.startup();
    } catch (CSocketException failure) {
        return {StopCause::Winsock, errorOrInternal(failure.code)};
    }
    try {
        socket.init();
    } catch (CSocketException failure) {
        return {StopCause::Socket, errorOrInternal(failure.code)};
    }
    try {
        socket.bindAny();
    } catch (CSocketException failure) {
        return {StopCause::Bind, errorOrInternal(failure.code)};
    }
    return loop(socket);
}

Stop ServiceRun::loop(CSocket& socket) {
    AppState state;
    TimeService timeService(state, settings_, readClockUs_);
    RequestWorker requests([&state, &socket] { requestTime(state, socket); });
    ReceiveThread receiver(
        state, socket, {},
        [this, &timeService](const Sample& sample) {
            if (auto result = timeService.handle(sample)) publish(*result);
        },
        [this](int code) { fail({StopCause::Receive, errorOrInternal(code)}); });
    if (!requests.start()) return {StopCause::Exception, kOutOfMemoryError};
    receiver.start();
    host_.reportRunning();

    std::unique_lock<std::mutex> hold(mutex_);
    for (;;) {
        wake_.wait_for(hold, std::chrono::milliseconds(kTickMs), [this] {
            return stopAsked_ || failure_.cause != StopCause::None || nowAsked_ || timeChanged_ || resumed_;
        });
        if (stopAsked_ || failure_.cause != StopCause::None) break;
        bool now = nowAsked_, changed = timeChanged_, resume = resumed_;
        nowAsked_ = timeChanged_ = resumed_ = false;
        hold.unlock();
        std::int64_t sinceBootMs = platform::sinceBootMs();
        if (now) timeService.askNow(sinceBootMs);
        if (changed) timeService.timeChanged(sinceBootMs);
        if (resume) timeService.resumed();
        timeService.tick(ClockReading{platform::wallClockMs(), sinceBootMs}, [&requests] { requests.ask(); });
        hold.lock();
    }
    Stop stop = failure_;
    hold.unlock();
    host_.reportStopping();
    // The receiving thread first: closing the socket under a send is safe,
    // and a request that resolves on does not keep the loop from its stop.
    receiver.stop();
    requests.stop();
    return stop;
}

void ServiceRun::fail(Stop stop) {
    std::lock_guard<std::mutex> hold(mutex_);
    if (failure_.cause == StopCause::None) failure_ = stop;
    wake_.notify_one();
}

void ServiceRun::publish(const Result& result) {
    std::lock_guard<std::mutex> hold(publishing_);
    host_.publish(result);
}

}  // namespace service
