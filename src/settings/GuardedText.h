// A text that one thread replaces while others read it: every reader gets
// one whole value, old or new, never a mix.
#pragma once
#include <mutex>
#include <string>

class GuardedText {
public:
    explicit GuardedText(std::string initial = {}) : text_(std::move(initial)) {}
    GuardedText(const GuardedText&) = delete;
    GuardedText& operator=(const GuardedText&) = delete;

    std::string get() const {
        std::lock_guard<std::mutex> hold(mutex_);
        return text_;
    }
    void set(std::string text) {
        std::lock_guard<std::mutex> hold(mutex_);
        text_ = std::move(text);
    }

private:
    mutable std::mutex mutex_;
    std::string text_;
};
