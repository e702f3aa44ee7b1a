// What the time-client tests share: reply builders, a readable form of a
// clock setting, and a wait for the receiving thread's replies.
#pragma once
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "net/Socket.h"
#include "net/Wire.h"
#include "platform/Clock.h"

// Winsock must be started before the first socket call (where there is no
// Winsock this does nothing); it is cleaned up at exit.
inline const bool socketsStarted = [] {
    static CWinsockInit winsock(1, 1);
    return winsock.startup() == 0;
}();

using Bytes = std::vector<std::uint8_t>;

// An RFC 868 reply for a second count since 1970.
inline Bytes timeReply(std::uint32_t seconds) {
    Bytes reply(4);
    wire::writeBigEndian32(reply.data(), seconds + wire::kSeconds1900To1970);
    return reply;
}

// An NTP reply of the given size (cut short below 48) with its first byte
// (leap indicator, version, mode) and stratum.
inline Bytes ntpReply(std::uint32_t seconds, std::uint32_t fraction = 0, std::size_t size = 48,
                      std::uint8_t first = 0x24, std::uint8_t stratum = 2) {
    Bytes reply(std::max<std::size_t>(size, 48), 0);
    reply[0] = first;
    reply[1] = stratum;
    wire::writeBigEndian32(&reply[40], seconds + wire::kSeconds1900To1970);
    wire::writeBigEndian32(&reply[44], fraction);
    reply.resize(size);
    return reply;
}

// The reply with `nonce` as its origin timestamp, as a genuine answer to
// that request echoes it.
inline Bytes echoing(Bytes reply, std::uint64_t nonce) {
    if (reply.size() >= wire::kNtpOriginOffset + 8) wire::writeBigEndian64(&reply[wire::kNtpOriginOffset], nonce);
    return reply;
}

// A kiss-o'-death with its four-letter code, echoing `nonce`, leap
// indicator 3 as servers send it.
inline Bytes kiss(const char* code, std::uint64_t nonce) {
    Bytes reply = echoing(ntpReply(0, 0, 48, 0xE4, 0), nonce);
    std::copy(code, code + 4, &reply[wire::kNtpReferenceIdOffset]);
    return reply;
}

inline std::string text(const platform::UtcTime& utc) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d.%03d", utc.year, utc.month, utc.day, utc.hour,
                  utc.minute, utc.second, utc.milliseconds);
    return buffer;
}

// Counts the replies the receiving thread handled.
class ReplyLog {
public:
    void note() {
        std::lock_guard<std::mutex> hold(mutex_);
        ++count_;
        changed_.notify_all();
    }
    // The limit guards against hanging; it measures nothing.
    bool waitFor(int count, std::chrono::seconds limit = std::chrono::seconds(20)) {
        std::unique_lock<std::mutex> hold(mutex_);
        return changed_.wait_for(hold, limit, [&] { return count_ >= count; });
    }
    int count() {
        std::lock_guard<std::mutex> hold(mutex_);
        return count_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int count_ = 0;
};
