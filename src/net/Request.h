// Asking the configured server for the time. Each request runs on a thread
// of its own that resolves, sends and ends; the receiving thread handles
// whatever comes back.
#pragma once
#include <array>
#include <cstdint>

#include "net/Socket.h"
#include "net/Wire.h"
#include "settings/AppState.h"

// The style comes from the port setting text, never from a port inside the
// server text: "ntp" in any letter case, or a number reading 123, is NTP.
RequestStyle chooseRequestStyle(const char* portText);

// 0x0B (version 1, client mode), zeros, and `nonce` as the transmit
// timestamp: 64 random bits that a genuine reply echoes as its origin. Our
// clock's reading would tell a stranger what to forge, and the server
// needs nothing of it.
std::array<std::uint8_t, wire::kNtpPacketSize> ntpRequestPacket(std::uint64_t nonce);

// The request thread's body: records a new request, resolves timeServer and
// sends. From its start no reply to an earlier request is taken; nothing
// shown changes until a reply comes. Nothing happens with an empty
// timeServer; failures are dropped.
void requestTime(AppState& state, CSocket& socket);

// Starts requestTime on a new detached thread and returns at once.
void startRequest(AppState& state, CSocket& socket);
