#include "settings/ProfileStore.h"

#include <algorithm>

std::string textFromStoredValue(const StoredValue& value) {
    auto end = std::find(value.bytes.begin(), value.bytes.end(), std::uint8_t{0});
    return std::string(value.bytes.begin(), end);
}

bool numberFromStoredValue(const StoredValue& value, std::uint32_t& number) {
    if (value.bytes.size() > 4) return false;
    number = 0;
    for (std::size_t i = 0; i < value.bytes.size(); ++i) number |= std::uint32_t{value.bytes[i]} << (8 * i);
    return true;
}

StoredValue storedText(const std::string& text) {
    StoredValue value{StoredValue::kText, std::vector<std::uint8_t>(text.begin(), text.end())};
    value.bytes.push_back(0);
    return value;
}

StoredValue storedNumber(std::uint32_t number) {
    StoredValue value{StoredValue::kNumber, {}};
    for (int i = 0; i < 4; ++i) value.bytes.push_back(static_cast<std::uint8_t>(number >> (8 * i)));
    return value;
}

std::string ProfileStore::readText(const char* section, const char* key, const std::string& defaultText) {
    StoredValue value;
    return readValue(section, key, value) ? textFromStoredValue(value) : defaultText;
}

std::uint32_t ProfileStore::readNumber(const char* section, const char* key, std::uint32_t defaultNumber) {
    StoredValue value;
    std::uint32_t number = 0;
    return readValue(section, key, value) && numberFromStoredValue(value, number) ? number : defaultNumber;
}

void ProfileStore::writeText(const char* section, const char* key, const std::string& text) {
    writeValue(section, key, storedText(text));
}

void ProfileStore::writeNumber(const char* section, const char* key, std::uint32_t number) {
    writeValue(section, key, storedNumber(number));
}
