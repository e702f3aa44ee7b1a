#include "Driver.h"

#include <cstdlib>
#include <cstring>

namespace driver {

const char* const kSettingsKey = "Software\\Marivel\\marivel\\Settings";

std::string programPath() {
    const char* path = std::getenv("MARIVEL_EXE");
    std::string result = path != nullptr ? path : "marivel.exe";
    if (!result.empty() && result[0] == '/') {
        // Wine shows the Unix root as drive Z:.
        for (char& c : result)
            if (c == '/') c = '\\';
        result = "Z:" + result;
    }
    return result;
}

namespace {

// The current environment with some variables replaced or added; an empty
// value removes the variable.
std::vector<char> environmentBlock(const std::map<std::string, std::string>& changes) {
    std::map<std::string, std::string> variables;
    char* strings = GetEnvironmentStringsA();
    for (const char* entry = strings; *entry != '\0'; entry += std::strlen(entry) + 1) {
        const char* equals = std::strchr(entry + 1, '=');  // entries like "=C:=C:\" start with '='
        if (equals != nullptr) variables[std::string(entry, equals)] = equals + 1;
    }
    FreeEnvironmentStringsA(strings);
    for (const auto& [name, value] : changes) {
        if (value.empty())
            variables.erase(name);
        else
            variables[name] = value;
    }
    std::vector<char> block;
    for (const auto& [name, value] : variables) {
        std::string entry = name + "=" + value;
        block.insert(block.end(), entry.begin(), entry.end());
        block.push_back('\0');
    }
    block.push_back('\0');
    return block;
}

struct WindowSearch {
    DWORD processId;
    const char* caption;
    HWND found;
};

BOOL CALLBACK matchWindow(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<WindowSearch*>(data);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId || !IsWindowVisible(window)) return TRUE;
    char className[64] = {};
    GetClassNameA(window, className, sizeof className);
    if (std::strcmp(className, "#32770") != 0) return TRUE;
    if (search->caption != nullptr && windowText(window) != search->caption) return TRUE;
    search->found = window;
    return FALSE;
}

}  // namespace

Program::Program(const std::map<std::string, std::string>& environment) {
    std::string commandLine = "\"" + programPath() + "\"";
    std::vector<char> block = environmentBlock(environment);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, block.data(), nullptr, &startup,
                        &info_))
        info_ = PROCESS_INFORMATION{};
}

Program::~Program() {
    if (info_.hProcess == nullptr) return;
    if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(info_.hProcess, 1);
        WaitForSingleObject(info_.hProcess, kWaitMs);
    }
    CloseHandle(info_.hThread);
    CloseHandle(info_.hProcess);
}

HWND Program::waitForWindow(const char* caption, int timeoutMs) const {
    if (info_.hProcess == nullptr) return nullptr;
    return waitUntil(
        [&] {
            WindowSearch search{info_.dwProcessId, caption, nullptr};
            EnumWindows(matchWindow, reinterpret_cast<LPARAM>(&search));
            return search.found;
        },
        [](HWND found) { return found != nullptr; }, timeoutMs);
}

bool Program::waitForExit(DWORD& status, int timeoutMs) {
    if (info_.hProcess == nullptr) return false;
    if (WaitForSingleObject(info_.hProcess, static_cast<DWORD>(timeoutMs)) != WAIT_OBJECT_0) return false;
    return GetExitCodeProcess(info_.hProcess, &status) != 0;
}

std::string windowText(HWND window) {
    char text[256] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string itemText(HWND dialog, int id) {
    char text[256] = {};
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

void deleteSettings() { RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Marivel"); }

std::string RegistryValue::text() const {
    std::size_t end = 0;
    while (end < bytes.size() && bytes[end] != 0) ++end;
    return std::string(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(end));
}

std::uint32_t RegistryValue::number() const {
    std::uint32_t result = 0;
    for (std::size_t i = 0; i < bytes.size() && i < 4; ++i) result |= std::uint32_t{bytes[i]} << (8 * i);
    return result;
}

bool readSetting(const char* name, RegistryValue& value) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    DWORD size = 0;
    LONG result = RegQueryValueExA(key, name, nullptr, &value.type, nullptr, &size);
    if (result == ERROR_SUCCESS) {
        value.bytes.assign(size, 0);
        result = RegQueryValueExA(key, name, nullptr, &value.type, value.bytes.data(), &size);
        value.bytes.resize(size);
    }
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

std::map<std::string, RegistryValue> readAllSettings() {
    std::map<std::string, RegistryValue> values;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return values;
    for (DWORD index = 0;; ++index) {
        char name[256];
        DWORD nameSize = sizeof name;
        if (RegEnumValueA(key, index, name, &nameSize, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        RegistryValue value;
        if (readSetting(name, value)) values[name] = value;
    }
    RegCloseKey(key);
    return values;
}

namespace {
void writeSetting(const char* name, DWORD type, const void* data, DWORD size) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return;
    RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
}
}  // namespace

void writeTextSetting(const char* name, const std::string& text) {
    writeSetting(name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

void writeNumberSetting(const char* name, std::uint32_t number) {
    writeSetting(name, REG_DWORD, &number, sizeof number);
}

}  // namespace driver
