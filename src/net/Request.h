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

// 0x0B (version 1, client mode) and 47 zero bytes.
std::array<std::uint8_t, wire::kNtpPacketSize> ntpRequestPacket();

// The request thread's body: sets correction to -1, resolves timeServer,
// records the request and sends it. Nothing happens with an empty
// timeServer; failures are dropped.
void requestTime(AppState& state, CSocket& socket);

// Starts requestTime on a new detached thread and returns at once.
void startRequest(AppState& state, CSocket& socket);
