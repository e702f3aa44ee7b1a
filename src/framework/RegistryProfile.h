// The per-user profile in the registry:
// HKCU\Software\<company key>\<application name>\<section>\<value>.
#pragma once
#include <windows.h>

#include <string>

#include "settings/ProfileStore.h"

// An open registry key, closed when it goes.
class RegistryKey {
public:
    RegistryKey() = default;
    ~RegistryKey() {
        if (key_ != nullptr) RegCloseKey(key_);
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    // Opens or creates a key below `parent`; false when neither works.
    bool create(HKEY parent, const std::string& path);
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

class RegistryProfile : public ProfileStore {
public:
    RegistryProfile(std::string companyKey, std::string appName);

protected:
    bool readValue(const char* section, const char* key, StoredValue& value) override;
    void writeValue(const char* section, const char* key, const StoredValue& value) override;

private:
    std::string sectionPath(const char* section) const;
    std::string companyKey_;
    std::string appName_;
};
