// The time service's run with a recording host in place of Windows: a run
// against a server of the test's own on loopback, stopped as asked; each
// failure ending with its step, its error and a published stop; the
// controls it takes and refuses; its request worker. Runs isolated.
#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <functional>
#include <future>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "errors/Exceptions.h"
#include "net/ClockRecorder.h"
#include "net/NetTestSupport.h"
#include "platform/WinsockErrors.h"
#include "service/RequestWorker.h"
#include "service/ServiceRun.h"
#include "settings/MemoryProfileStore.h"

namespace {

using service::Stop;
using service::StopCause;

class RecordingHost : public service::ServiceHost {
public:
    std::uint32_t openPublishing() override { return step("publishing", publishingError); }
    std::uint32_t limitPrivileges() override {
        if (privilegesThrow) privilegesThrow();
        return step("privileges", privilegesError);
    }
    void publish(const service::Result& result) override {
        std::lock_guard<std::mutex> hold(mutex_);
        results_.push_back(result);
        changed_.notify_all();
    }
    void reportRunning() override { step("running", 0); }
    void reportStopping() override { step("stopping", 0); }

    std::vector<std::string> steps() {
        std::lock_guard<std::mutex> hold(mutex_);
        return steps_;
    }
    std::vector<service::Result> results() {
        std::lock_guard<std::mutex> hold(mutex_);
        return results_;
    }
    // Waits until the run reports `what`, or 10 s.
    bool awaitStep(const std::string& what) {
        std::unique_lock<std::mutex> hold(mutex_);
        return changed_.wait_for(hold, std::chrono::seconds(10), [&] {
            return std::find(steps_.begin(), steps_.end(), what) != steps_.end();
        });
    }
    bool awaitResult() {
        std::unique_lock<std::mutex> hold(mutex_);
        return changed_.wait_for(hold, std::chrono::seconds(10), [&] { return !results_.empty(); });
    }

    std::uint32_t publishingError = 0;
    std::uint32_t privilegesError = 0;
    std::function<void()> privilegesThrow;

private:
    std::uint32_t step(const char* what, std::uint32_t error) {
        std::lock_guard<std::mutex> hold(mutex_);
        steps_.push_back(what);
        changed_.notify_all();
        return error;
    }
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> steps_;
    std::vector<service::Result> results_;
};

class ServiceRunTest : public ::testing::Test {
protected:
    // No default server is ever asked from a test; the fake server speaks NTP.
    ServiceRunTest() {
        store.writeText("Service", "TimeServer", "");
        store.writeText("Service", "Port", "ntp");
    }

    ClockRecorder clock;
    RecordingHost host;
    MemoryProfileStore store;
};

}  // namespace

TEST_F(ServiceRunTest, ItAsksItsServerSetsTheClockPublishesAndStopsAsAsked) {
    CSocket server(kSockDgram, 0, kAfInet);
    server.init();
    server.bindAny();
    store.writeText("Service", "TimeServer", "127.0.0.1:" + std::to_string(server.localPort()));
    service::ServiceRun run(host, store);
    std::future<Stop> ended = std::async(std::launch::async, [&run] { return run.run(); });

    // Its first tick polls; answered 2 s ahead.
    std::uint8_t request[512];
    CInetAddr from;
    ASSERT_EQ(server.receiveFrom(request, sizeof request, 0, from), 48);
    std::uint32_t ahead = currentSeconds() + 2;
    Bytes reply = echoing(ntpReply(ahead), wire::readBigEndian64(request, wire::kNtpTransmitOffset));
    wire::writeBigEndian64(&reply[wire::kNtpReceiveOffset], wire::readBigEndian64(reply.data(), wire::kNtpTransmitOffset));
    server.sendTo(reply.data(), static_cast<int>(reply.size()), 0, from);
    ASSERT_TRUE(host.awaitResult());
    service::Result result = host.results().at(0);
    EXPECT_EQ(result.setting, service::SettingOutcome::Done);
    EXPECT_EQ(result.stopped, StopCause::None);
    EXPECT_NEAR(static_cast<double>(result.offsetMs), 1500.0, 1000.0);
    EXPECT_EQ(clock.calls().size(), 1u);

    EXPECT_TRUE(run.control(service::controls::kStop));
    Stop stop = ended.get();
    EXPECT_EQ(stop.cause, StopCause::None);
    EXPECT_EQ(stop.error, 0u);
    EXPECT_EQ(host.steps(), (std::vector<std::string>{"publishing", "privileges", "running", "stopping"}));
    EXPECT_EQ(host.results().size(), 1u) << "an asked stop publishes nothing";
}

TEST_F(ServiceRunTest, ASocketThatFailsUnderTheReceivingThreadStopsTheServiceWithItsError) {
    service::ServiceRun run(host, store);
    CSocket neverOpened(kSockDgram, 0, kAfInet);
    Stop stop = run.serve(neverOpened);
    EXPECT_EQ(stop.cause, StopCause::Receive);
    EXPECT_EQ(stop.error, static_cast<std::uint32_t>(wsa::kBadHandle));
    EXPECT_EQ(host.steps(), (std::vector<std::string>{"running", "stopping"}));
    ASSERT_EQ(host.results().size(), 1u);
    service::Result published = host.results()[0];
    EXPECT_EQ(published.stopped, StopCause::Receive);
    EXPECT_EQ(published.error, static_cast<std::uint32_t>(wsa::kBadHandle));
    EXPECT_EQ(published.setting, service::SettingOutcome::Failed);
    EXPECT_NEAR(static_cast<double>(published.when), static_cast<double>(currentSeconds()), 2.0);
}

TEST_F(ServiceRunTest, EachFailingStepEndsTheRunWithItsErrorAndAPublishedStop) {
    store.writeText("Service", "TimeServer", "127.0.0.1:11123");
    {
        RecordingHost noMapping;
        noMapping.publishingError = 5;
        service::ServiceRun run(noMapping, store);
        Stop stop = run.run();
        EXPECT_EQ(stop.cause, StopCause::Publishing);
        EXPECT_EQ(stop.error, 5u);
        EXPECT_EQ(noMapping.steps(), (std::vector<std::string>{"publishing"})) << "nothing runs without it";
        EXPECT_TRUE(noMapping.results().empty());
    }
    host.privilegesError = 1300;
    service::ServiceRun run(host, store);
    Stop stop = run.run();
    EXPECT_EQ(stop.cause, StopCause::Privileges);
    EXPECT_EQ(stop.error, 1300u);
    EXPECT_EQ(host.steps(), (std::vector<std::string>{"publishing", "privileges"})) << "no socket before it";
    ASSERT_EQ(host.results().size(), 1u);
    EXPECT_EQ(host.results()[0].stopped, StopCause::Privileges);
    EXPECT_EQ(host.results()[0].error, 1300u);
    EXPECT_EQ(host.results()[0].server, "127.0.0.1:11123");

    // Whatever is thrown, CExc (no std::exception) included, ends in a stop.
    const std::pair<std::function<void()>, std::uint32_t> thrown[] = {
        {[] { throw CExc(87, "in a test"); }, 87u},
        {[] { throw CSocketException(10050, "in a test"); }, 10050u},
        {[] { throw std::runtime_error("in a test"); }, service::kInternalError},
        {[] { throw std::bad_alloc(); }, service::kOutOfMemoryError},
        {[] { throw 1; }, service::kInternalError},
    };
    for (const auto& [raise, error] : thrown) {
        RecordingHost throwing;
        throwing.privilegesThrow = raise;
        service::ServiceRun failing(throwing, store);
        Stop ended = failing.run();
        EXPECT_EQ(ended.cause, StopCause::Exception);
        EXPECT_EQ(ended.error, error);
        ASSERT_EQ(throwing.results().size(), 1u);
        EXPECT_EQ(throwing.results()[0].error, error);
    }
}

TEST_F(ServiceRunTest, TakesItsControlsAndRefusesAnyOther) {
    service::ServiceRun run(host, store);
    namespace controls = service::controls;
    EXPECT_TRUE(run.control(controls::kInterrogate));
    EXPECT_TRUE(run.control(service::kControlSyncNow));
    EXPECT_TRUE(run.control(controls::kTimeChange));
    EXPECT_TRUE(run.control(controls::kPowerEvent, controls::kResumeAutomatic));
    EXPECT_TRUE(run.control(controls::kPowerEvent, 4)) << "PBT_APMSUSPEND: taken, and nothing done";
    for (std::uint32_t code : {0u, 2u, 3u, 6u, 129u, 255u}) EXPECT_FALSE(run.control(code)) << code;
    EXPECT_TRUE(run.control(controls::kShutdown));
}

TEST(RequestWorker, RunsOneRequestAtATimeDropsAsksMeanwhileAndWaitsForItAtStop) {
    std::mutex mutex;
    std::condition_variable changed;
    int started = 0;
    bool release = false;
    service::RequestWorker worker([&] {
        std::unique_lock<std::mutex> hold(mutex);
        ++started;
        changed.notify_all();
        changed.wait(hold, [&] { return release; });
    });
    EXPECT_FALSE(worker.ask()) << "not started";
    ASSERT_TRUE(worker.start());
    ASSERT_TRUE(worker.ask());
    {
        std::unique_lock<std::mutex> hold(mutex);
        changed.wait(hold, [&] { return started == 1; });
    }
    EXPECT_FALSE(worker.ask()) << "one under way";
    std::future<void> stopped = std::async(std::launch::async, [&worker] { worker.stop(); });
    EXPECT_EQ(stopped.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout)
        << "the stop did not wait for the request";
    {
        std::lock_guard<std::mutex> hold(mutex);
        release = true;
        changed.notify_all();
    }
    stopped.get();
    EXPECT_FALSE(worker.ask());
    EXPECT_EQ(started, 1);
}
