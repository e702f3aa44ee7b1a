// The exception family: CExc for general failures, CSocketException for
// socket failures. Both are thrown and caught by value.
#pragma once
#include <cstdint>

class CExc {
public:
    static constexpr int kMessageSize = 128;

    // message empty; code = given code, or the system's last error for 0.
    explicit CExc(int code);
    // "Error: %d %s" with a non-zero code; for 0, "Error %d %s%s" with the
    // system's last error and its own description.
    CExc(int code, const char* format, ...) __attribute__((format(gnu_printf, 3, 4)));
    CExc(const CExc& other) = default;
    CExc& operator=(const CExc& other) = default;
    virtual ~CExc() = default;

    // A "Message" box with the text and an OK button.
    virtual void show() const;

    char message[kMessageSize];
    std::int32_t code;

protected:
    CExc() : message{}, code(0) {}
};

class CSocketException : public CExc {
public:
    // code = given code, or the socket layer's last error for 0; the message
    // ends with the description of that code.
    CSocketException(int code, const char* format, ...) __attribute__((format(gnu_printf, 3, 4)));

    // Shows the message with the description of the current socket error.
    void show() const override;
};

// Asks Abort, Retry or Ignore about a socket failure; returns the button
// (3, 4 or 5).
int showRetryPrompt(const char* context, CSocketException exc);

// Runs `work`; a CExc that ends it is shown in a "Message" box, as a CExc
// even when it was a CSocketException, and the caller goes on.
template <typename Work>
void runShowingFailure(Work work) {
    try {
        work();
    } catch (CExc exc) {
        exc.show();
    }
}
