// The time service's life from its start to its stop, without Windows: its
// start-up steps, its loop (ticks, "now" asks, steps of the clock, the
// request worker and the receiving thread), and how it ends: as asked, or
// on a failure, with what failed and the error, published as its last
// result. The Windows side (ServiceMain) implements ServiceHost and hands
// the service control manager's controls to control().
#pragma once
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "link/ServiceResult.h"
#include "net/Socket.h"
#include "service/TimeService.h"
#include "settings/ProfileStore.h"

namespace service {

// The service control manager's codes the service takes, and the power
// events among them that are a resume; winsvc.h's and pbt.h's values,
// checked against them on Windows.
namespace controls {
constexpr std::uint32_t kStop = 1;               // SERVICE_CONTROL_STOP
constexpr std::uint32_t kInterrogate = 4;        // SERVICE_CONTROL_INTERROGATE
constexpr std::uint32_t kShutdown = 5;           // SERVICE_CONTROL_SHUTDOWN
constexpr std::uint32_t kPowerEvent = 13;        // SERVICE_CONTROL_POWEREVENT
constexpr std::uint32_t kTimeChange = 16;        // SERVICE_CONTROL_TIMECHANGE
constexpr std::uint32_t kResumeSuspend = 7;      // PBT_APMRESUMESUSPEND
constexpr std::uint32_t kResumeAutomatic = 18;   // PBT_APMRESUMEAUTOMATIC
}  // namespace controls

// Windows error codes for a stop without an error of its own.
constexpr std::uint32_t kOutOfMemoryError = 8;  // ERROR_NOT_ENOUGH_MEMORY
constexpr std::uint32_t kInternalError = 1359;  // ERROR_INTERNAL_ERROR

// How the service ended: cause None when it was asked to stop; otherwise
// what failed and its Windows or Winsock error, never 0.
struct Stop {
    StopCause cause = StopCause::None;
    std::uint32_t error = 0;
};

// What only Windows can do for the service.
class ServiceHost {
public:
    virtual ~ServiceHost() = default;
    // Creates the result's mapping: 0, or the Windows error.
    virtual std::uint32_t openPublishing() = 0;
    // Limits the process's privileges: 0, or the Windows error.
    virtual std::uint32_t limitPrivileges() = 0;
    // Never called for two results at once; nothing without the mapping.
    virtual void publish(const Result& result) = 0;
    // The status the service control manager shows: running, taking its
    // controls; stopping.
    virtual void reportRunning() = 0;
    virtual void reportStopping() = 0;
};

class ServiceRun {
public:
    // The interval between two ticks of the loop.
    static constexpr std::int64_t kTickMs = 1000;

    // `store` holds the settings, read at the start of run().
    ServiceRun(ServiceHost& host, ProfileStore& store,
               TimeService::ClockReader readClockUs = platform::preciseWallClockUs);
    ServiceRun(const ServiceRun&) = delete;
    ServiceRun& operator=(const ServiceRun&) = delete;

    // A control from the service control manager, on its thread: false for
    // a code the service does nothing with (ERROR_CALL_NOT_IMPLEMENTED).
    bool control(std::uint32_t code, std::uint32_t eventType = 0);
    // The whole run, on the service's own thread: publishing, its settings,
    // privileges, Winsock, its socket bound, then the loop. Nothing escapes
    // it. A failure after publishing began is published as a stop.
    Stop run();
    // The loop alone, over a socket of the caller's, on the settings as they
    // are (none before run()): until a stop is asked or the socket fails
    // under the receiving thread; a failure is published as run()'s.
    Stop serve(CSocket& socket);

private:
    template <typename Work>
    Stop ended(Work work);
    Stop startAndServe();
    Stop loop(CSocket& socket);
    void fail(Stop stop);
    void publish(const Result& result);

    ServiceHost& host_;
    ProfileStore& store_;
    TimeService::ClockReader readClockUs_;
    Settings settings_;
    std::mutex publishing_;  // held by each publish
    // What the controls and the receiving thread hand to the loop.
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopAsked_ = false;
    bool nowAsked_ = false;
    bool timeChanged_ = false;
    bool resumed_ = false;
    Stop failure_;
};

}  // namespace service
