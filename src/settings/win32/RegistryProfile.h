// A profile in the registry, <root>\<base path>\<section>\<value>: the
// clock's per-user one, HKCU\Software\<company key>\<application name>,
// or a read-only one such as the service's machine-wide settings.
#pragma once
#include <windows.h>

#include <string>

#include "platform/win32/Owned.h"
#include "settings/ProfileStore.h"

class RegistryProfile : public ProfileStore {
public:
    // Per user; reading already creates the section's key.
    RegistryProfile(std::string companyKey, std::string appName);
    // Reads only, creating nothing, so that it works where writing is not
    // allowed (a service's account under HKEY_LOCAL_MACHINE); writing does
    // nothing.
    static RegistryProfile readOnly(HKEY root, std::string basePath);

protected:
    bool readValue(const char* section, const char* key, StoredValue& value) override;
    void writeValue(const char* section, const char* key, const StoredValue& value) override;

private:
    RegistryProfile(HKEY root, std::string basePath, bool writable);
    // The section's key, opened (or, when writable, created); empty when
    // that fails.
    RegistryKey openSection(const char* section) const;
    HKEY root_;
    std::string basePath_;
    bool writable_;
};
