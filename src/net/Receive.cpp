#include "net/Receive.h"

#include <cstdlib>
#include <vector>

#include "errors/Exceptions.h"
#include "net/AnswerPolicy.h"
#include "net/Reply.h"
#include "net/RequestStyle.h"
#include "platform/WinsockErrors.h"

namespace {

void exitNow(int exitCode) { std::_Exit(exitCode); }

std::atomic<ProcessEndFn> processEnd{exitNow};

}  // namespace

bool isPassingReceiveError(int code) {
    return code == wsa::kMessageTooLong || code == wsa::kNetworkReset || code == wsa::kConnectionReset ||
           code == wsa::kInterrupted;
}

void endProcessOnSocketFailure(int) { processEnd.load()(kReceiveFailureExitCode); }

ProcessEndFn replaceProcessEnd(ProcessEndFn fn) { return processEnd.exchange(fn != nullptr ? fn : exitNow); }

ReceiveLoop::ReceiveLoop(AppState& state, CSocket& socket, ReplyHook onReply, SampleHandler handler)
    : state_(state), socket_(socket), onReply_(std::move(onReply)), handler_(std::move(handler)) {}

bool ReceiveLoop::run() {
    // Each style takes answers up to its own length (judgeReply); the buffer
    // holds the longest of them.
    std::vector<std::uint8_t> buffer(largestAnswerOfAnyStyle());
    while (!stopping_) {
        CInetAddr from;
        long received = 0;
        try {
            received = socket_.receiveFrom(buffer.data(), static_cast<int>(buffer.size()), 0, from);
        } catch (CSocketException failure) {
            if (stopping_) break;
            // Anyone can send an oversized datagram; it must not end the
            // program. Only a socket that can no longer receive does.
            if (isPassingReceiveError(failure.code)) continue;
            failureCode_ = failure.code;
            return false;
        }
        if (stopping_) break;
        ReplyMoment moment = currentMoment();
        // One read of the record: the checks and the round trip refer to
        // the same request.
        RequestRecord request = state_.lastRequest.get();
        std::optional<Sample> sample =
            judgeReply(request, from, buffer.data(), static_cast<std::size_t>(received), moment);
        // Anything else changes and refreshes nothing; neither does a second
        // answer to the same request.
        if (!sample || !state_.lastRequest.claim(request.serial)) continue;
        sample->style->taken(*sample);
        if (handler_)
            handler_(*sample);
        else
            handleReply(state_, *sample);
        if (onReply_) onReply_();
    }
    return true;
}

void receiveLoop(ReceiveLoop& loop, const SocketFailureHandler& onFailure) {
    if (!loop.run() && onFailure) onFailure(loop.failureCode());
}

ReceiveThread::ReceiveThread(AppState& state, CSocket& socket, ReceiveLoop::ReplyHook onReply,
                             ReceiveLoop::SampleHandler handler, SocketFailureHandler onFailure)
    : socket_(socket), loop_(state, socket, std::move(onReply), std::move(handler)), onFailure_(std::move(onFailure)) {}

ReceiveThread::~ReceiveThread() { stop(); }

void ReceiveThread::start() {
    if (!thread_.joinable()) thread_ = std::thread(receiveLoop, std::ref(loop_), std::cref(onFailure_));
}

void ReceiveThread::closeSocket() {
    if (socket_.handle() != CSocket::kNoSocket) socket_.close();
}

void ReceiveThread::stop() {
    if (!thread_.joinable()) return;
    loop_.stop();
    // BSD sockets wake a blocked receive on shutdown, and the handle is
    // closed once the thread is done with it: closed earlier, its number
    // could go to a new socket that the thread would read. Winsock wakes a
    // receive only on close.
    bool woken = socket_.interruptReceive();
    if (!woken) closeSocket();
    thread_.join();
    if (woken) closeSocket();
}
