// A settings store held in memory, for the tests of what reads and writes
// settings where there is no registry. It records the order of reads and
// writes.
#pragma once
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "settings/ProfileStore.h"

class MemoryProfileStore : public ProfileStore {
public:
    using Name = std::pair<std::string, std::string>;  // section, key

    std::map<Name, StoredValue> values;
    std::vector<std::string> writtenKeys;  // in the order written
    std::vector<std::string> readKeys;     // in the order read

protected:
    bool readValue(const char* section, const char* key, StoredValue& value) override {
        readKeys.emplace_back(key);
        auto found = values.find({section, key});
        if (found == values.end()) return false;
        value = found->second;
        return true;
    }
    void writeValue(const char* section, const char* key, const StoredValue& value) override {
        writtenKeys.emplace_back(key);
        values[{section, key}] = value;
    }
};
