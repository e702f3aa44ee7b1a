#include "framework/RegistryProfile.h"

#include <utility>
#include <vector>

bool RegistryKey::create(HKEY parent, const std::string& path) {
    HKEY opened = nullptr;
    LONG result = RegCreateKeyExA(parent, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE,
                                  nullptr, &opened, nullptr);
    if (result != ERROR_SUCCESS) return false;
    if (key_ != nullptr) RegCloseKey(key_);
    key_ = opened;
    return true;
}

bool RegistryKey::openForReading(HKEY parent, const std::string& path) {
    HKEY opened = nullptr;
    if (RegOpenKeyExA(parent, path.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
    if (key_ != nullptr) RegCloseKey(key_);
    key_ = opened;
    return true;
}

RegistryProfile::RegistryProfile(HKEY root, std::string basePath, bool writable)
    : root_(root), basePath_(std::move(basePath)), writable_(writable) {}

RegistryProfile::RegistryProfile(std::string companyKey, std::string appName)
    : RegistryProfile(HKEY_CURRENT_USER, "Software\\" + companyKey + "\\" + appName, true) {}

RegistryProfile RegistryProfile::readOnly(HKEY root, std::string basePath) {
    return RegistryProfile(root, std::move(basePath), false);
}

std::string RegistryProfile::sectionPath(const char* section) const { return basePath_ + "\\" + section; }

// A writable profile's reading opens the path with create semantics too,
// so the first start already makes it.
bool RegistryProfile::readValue(const char* section, const char* key, StoredValue& value) {
    RegistryKey sectionKey;
    bool opened = writable_ ? sectionKey.create(root_, sectionPath(section))
                            : sectionKey.openForReading(root_, sectionPath(section));
    if (!opened) return false;
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(sectionKey.get(), key, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
    std::vector<std::uint8_t> bytes(size);
    if (RegQueryValueExA(sectionKey.get(), key, nullptr, &type, bytes.data(), &size) != ERROR_SUCCESS) return false;
    bytes.resize(size);
    value = StoredValue{type, std::move(bytes)};
    return true;
}

void RegistryProfile::writeValue(const char* section, const char* key, const StoredValue& value) {
    RegistryKey sectionKey;
    if (!writable_ || !sectionKey.create(root_, sectionPath(section))) return;
    RegSetValueExA(sectionKey.get(), key, 0, value.type, value.bytes.data(), static_cast<DWORD>(value.bytes.size()));
}
