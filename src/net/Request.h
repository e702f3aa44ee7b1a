// Asking the configured server for the time. Each request runs on a thread
// of its own that resolves, sends and ends; the receiving thread handles
// whatever comes back.
#pragma once
#include <string>

#include "net/RequestStyle.h"
#include "net/Socket.h"
#include "settings/AppState.h"

// The request thread's body: records a new request, lets the port text's
// style prepare it, and sends. From its start no reply to an earlier
// request is taken; nothing shown changes until a reply comes. Nothing
// happens with an empty timeServer. How it went is kept in the record
// (lastRequest): sent, or the name not found, or the send failed.
void requestTime(AppState& state, CSocket& socket);
// The same in a style the caller chose, `portText` its default port.
void requestTime(AppState& state, CSocket& socket, RequestStyle& style, const std::string& portText);

// Starts requestTime on a new detached thread and returns at once.
void startRequest(AppState& state, CSocket& socket);
