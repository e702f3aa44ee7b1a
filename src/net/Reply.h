// Judging a datagram on the socket: is it the answer to the latest
// request? The checks are pure and ordered; a datagram that passes them is
// decoded once, into a Sample, by the request's style.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>

#include "net/RequestRecord.h"
#include "net/Sample.h"
#include "net/Socket.h"
#include "net/Wire.h"

// The root distance (root delay / 2 + root dispersion) above which a
// server's time is too uncertain to use, in 2^-16 s.
constexpr std::uint64_t kMaxRootDistance = std::uint64_t{5} << 16;

// Judges a datagram against the latest request, received at `moment`. It
// answers that request only if the request went out and has no answer yet,
// the datagram comes from where it went, within kReplyWindowMs of its start,
// no longer than the style's largest answer, and its style takes it
// (RequestStyle::judge); nullopt otherwise.
std::optional<Sample> judgeReply(const RequestRecord& request, const CInetAddr& from, const std::uint8_t* data,
                                 std::size_t length, const ReplyMoment& moment);

// What the NTP styles ask of a packet's header, in this order: a server
// packet (mode 4) that echoes `nonce` as its origin. Then stratum 0 is a
// kiss; otherwise it is used only when synchronized (leap indicator not 3,
// stratum below 16), with a root distance of at most kMaxRootDistance and a
// transmit timestamp. A kiss that does not echo the nonce is a forgery,
// ignored like any other, so that no stranger can silence the clock.
// True for an answer or a kiss to `nonce` in `sample.ntp`; a kiss is
// marked in `sample` with its code.
bool judgeNtpHeader(Sample& sample, std::uint64_t nonce);
