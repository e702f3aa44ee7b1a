// Reads a fuzzer's bytes as the fields of one case. Past the end every
// read gives zeros, so any input is a whole case.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), left_(size) {}

    std::uint8_t byte() {
        if (left_ == 0) return 0;
        --left_;
        return *data_++;
    }

    template <typename Number>
    Number number() {
        Number value = 0;
        for (std::size_t i = 0; i < sizeof(Number); ++i) value = static_cast<Number>((value << 8) | byte());
        return value;
    }

    // Up to `limit` bytes, as many as a length byte asks for.
    std::vector<std::uint8_t> bytes(std::size_t limit) {
        std::size_t count = byte() % (limit + 1);
        count = count < left_ ? count : left_;
        std::vector<std::uint8_t> taken(data_, data_ + count);
        data_ += count;
        left_ -= count;
        return taken;
    }

    // Bytes up to the next zero (which is used up) or the end.
    std::string text() {
        std::string taken;
        while (left_ > 0) {
            --left_;
            char c = static_cast<char>(*data_++);
            if (c == '\0') break;
            taken += c;
        }
        return taken;
    }

    std::vector<std::uint8_t> rest() {
        std::vector<std::uint8_t> taken(data_, data_ + left_);
        data_ += left_;
        left_ = 0;
        return taken;
    }

private:
    const std::uint8_t* data_;
    std::size_t left_;
};

// A broken rule ends the run the way a sanitizer would, so that libFuzzer
// keeps the input and the replay fails.
#define FUZZ_CHECK(condition)                                                                         \
    do {                                                                                              \
        if (!(condition)) fuzzCheckFailed(#condition, __FILE__, __LINE__);                            \
    } while (false)
[[noreturn]] inline void fuzzCheckFailed(const char* condition, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, condition);
    std::abort();
}
