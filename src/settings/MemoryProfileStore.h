// A settings store held in memory, where there is no registry: the
// portable build and its tests. It records the order of reads and writes.
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
    bool readValue(const char* section, const char* key, StoredValue& value) override;
    void writeValue(const char* section, const char* key, const StoredValue& value) override;
};
