// Stands in for the message box: records what would be shown and answers
// with a chosen button.
#pragma once
#include <string>
#include <vector>

#include "platform/Desktop.h"

struct ShownBox {
    std::string text;
    std::string caption;
    platform::MessageBoxButtons buttons;
};

class MessageBoxRecorder {
public:
    explicit MessageBoxRecorder(int answer = platform::kResultOk) {
        answer_ = answer;
        shown().clear();
        previous_ = platform::replaceMessageBox(record);
    }
    ~MessageBoxRecorder() { platform::replaceMessageBox(previous_); }
    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

    static std::vector<ShownBox>& shown() {
        static std::vector<ShownBox> boxes;
        return boxes;
    }

private:
    static int record(const char* text, const char* caption, platform::MessageBoxButtons buttons) {
        shown().push_back({text, caption, buttons});
        return answer_;
    }
    static inline int answer_ = platform::kResultOk;
    platform::MessageBoxFn previous_;
};
