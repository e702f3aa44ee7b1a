// The per-user settings store: the registry on Windows, memory in tests.
// Values are kept as the registry keeps them, a type and raw bytes, and
// read by one set of rules whatever the store.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct StoredValue {
    static constexpr std::uint32_t kText = 1;    // REG_SZ
    static constexpr std::uint32_t kNumber = 4;  // REG_DWORD
    std::uint32_t type;
    std::vector<std::uint8_t> bytes;
};

// A text is the stored bytes up to the first zero, whatever the type.
std::string textFromStoredValue(const StoredValue& value);
// A number is the stored bytes, little-endian, whatever the type; a value
// shorter than 4 bytes is filled with zeros; a longer one is no number.
bool numberFromStoredValue(const StoredValue& value, std::uint32_t& number);
StoredValue storedText(const std::string& text);  // with its terminator
StoredValue storedNumber(std::uint32_t number);

class ProfileStore {
public:
    virtual ~ProfileStore() = default;

    std::string readText(const char* section, const char* key, const std::string& defaultText);
    std::uint32_t readNumber(const char* section, const char* key, std::uint32_t defaultNumber);
    void writeText(const char* section, const char* key, const std::string& text);
    void writeNumber(const char* section, const char* key, std::uint32_t number);

protected:
    // false when the value is missing or the store cannot be opened
    virtual bool readValue(const char* section, const char* key, StoredValue& value) = 0;
    // failures are silent
    virtual void writeValue(const char* section, const char* key, const StoredValue& value) = 0;
};
