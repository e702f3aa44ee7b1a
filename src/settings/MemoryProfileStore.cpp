#include "settings/MemoryProfileStore.h"

bool MemoryProfileStore::readValue(const char* section, const char* key, StoredValue& value) {
    readKeys.emplace_back(key);
    auto found = values.find({section, key});
    if (found == values.end()) return false;
    value = found->second;
    return true;
}

void MemoryProfileStore::writeValue(const char* section, const char* key, const StoredValue& value) {
    writtenKeys.emplace_back(key);
    values[{section, key}] = value;
}
