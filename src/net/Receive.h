// The receiving thread: reads every datagram on the socket, keeps only
// replies to the last request, and hands each one on as a Sample.
#pragma once
#include <atomic>
#include <functional>
#include <thread>

#include "net/Sample.h"
#include "net/Socket.h"
#include "settings/AppState.h"

// Exit status of the clock's process when its socket can no longer receive.
constexpr int kReceiveFailureExitCode = 65535;

// Receive failures that leave the socket usable: an oversized datagram
// (dropped), a port-unreachable report for an earlier request, an
// interrupted call.
bool isPassingReceiveError(int code);

class ReceiveLoop {
public:
    // Called on the receiving thread after each reply that changed the
    // state: the hook for refreshing an open settings dialog. It must not
    // overlap that dialog's closing.
    using ReplyHook = std::function<void()>;
    // What is done with an answer to the latest request; the clock's
    // handleReply unless another is given.
    using SampleHandler = std::function<void(const Sample& sample)>;

    ReceiveLoop(AppState& state, CSocket& socket, ReplyHook onReply = {}, SampleHandler handler = {});

    // Receives until stop() is asked (true) or the socket fails for good
    // (false, with the Winsock code in failureCode()).
    bool run();
    // Asks run() to end after its current receive; the caller wakes it.
    void stop() { stopping_ = true; }
    int failureCode() const { return failureCode_; }

private:
    AppState& state_;
    CSocket& socket_;
    ReplyHook onReply_;
    SampleHandler handler_;
    std::atomic<bool> stopping_{false};
    int failureCode_ = 0;
};

// What becomes of a program whose socket failed for good, given the
// Winsock code. The clock's rule is endProcessOnSocketFailure.
using SocketFailureHandler = std::function<void(int code)>;
// Ends the process at once with kReceiveFailureExitCode, no destructors
// run: std::_Exit unless replaced.
void endProcessOnSocketFailure(int code);
using ProcessEndFn = void (*)(int exitCode);
ProcessEndFn replaceProcessEnd(ProcessEndFn fn);

// The thread body: runs the loop, and hands a failure of the socket to
// `onFailure`.
void receiveLoop(ReceiveLoop& loop, const SocketFailureHandler& onFailure = endProcessOnSocketFailure);

// Owns the receiving thread. Started once the socket exists; stopped at
// close, before the process-wide socket and Winsock go, so that the process
// ends with its ordinary status.
class ReceiveThread {
public:
    ReceiveThread(AppState& state, CSocket& socket, ReceiveLoop::ReplyHook onReply = {},
                  ReceiveLoop::SampleHandler handler = {},
                  SocketFailureHandler onFailure = endProcessOnSocketFailure);
    ReceiveThread(const ReceiveThread&) = delete;
    ReceiveThread& operator=(const ReceiveThread&) = delete;
    ~ReceiveThread();

    void start();
    // Wakes the blocked receive, waits for the thread and closes the socket.
    void stop();

private:
    void closeSocket();

    CSocket& socket_;
    ReceiveLoop loop_;
    SocketFailureHandler onFailure_;
    std::thread thread_;
};
