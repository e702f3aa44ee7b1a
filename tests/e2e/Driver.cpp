#include "Driver.h"

#include <wincrypt.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

namespace driver {

const char* const kSettingsKey = "Software\\Marivel\\marivel\\Settings";

namespace {



// The current environment with some variables set or removed.
std::vector<char> environmentBlock(const Environment& changes) {
    std::map<std::string, std::string> variables;
    char* strings = GetEnvironmentStringsA();
    for (const char* entry = strings; *entry != '\0'; entry += std::strlen(entry) + 1) {
        const char* equals = std::strchr(entry + 1, '=');  // entries like "=C:=C:\" start with '='
        if (equals != nullptr) variables[std::string(entry, equals)] = equals + 1;
    }
    FreeEnvironmentStringsA(strings);
    for (const auto& [name, value] : changes) {
        if (value)
            variables[name] = *value;
        else
            variables.erase(name);
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

}  // namespace

// A path from the environment; Wine shows the Unix root as drive Z:.
DWORD msiexec(const std::string& arguments) {
    std::string commandLine = "msiexec.exe " + arguments + " /qn";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started))
        return GetLastError();
    OwnedHandle process(started.hProcess), thread(started.hThread);
    DWORD status = WAIT_TIMEOUT;
    if (WaitForSingleObject(process.get(), 120000) == WAIT_OBJECT_0) GetExitCodeProcess(process.get(), &status);
    return status;
}

std::string windowsPathOf(const char* variable) {
    const char* value = std::getenv(variable);
    std::string path = value != nullptr ? value : "";
    if (!path.empty() && path[0] == '/') {
        for (char& c : path)
            if (c == '/') c = '\\';
        path = "Z:" + path;
    }
    return path;
}

std::string programPath() { return windowsPathOf("MARIVEL_EXE"); }

bool trustCertificate(const std::string& derPath) {
    std::ifstream file(derPath, std::ios::binary);
    std::vector<BYTE> der((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (der.empty()) return false;
    HCERTSTORE store = CertOpenSystemStoreA(0, "ROOT");
    if (store == nullptr) return false;
    bool added = CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()),
                                                  CERT_STORE_ADD_REPLACE_EXISTING, nullptr) != FALSE;
    CertCloseStore(store, 0);
    return added;
}

namespace {

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

Program::Program(const Environment& environment, const std::string& path) {
    std::string commandLine = "\"" + path + "\"";
    char folder[MAX_PATH] = {};
    GetTempPathA(sizeof folder, folder);
    char probeFile[MAX_PATH] = {};
    GetTempFileNameA(folder, "mnu", 0, probeFile);
    DeleteFileA(probeFile);
    probeOut_ = probeFile;
    Environment changes = environment;
    changes["MARIVEL_PROBE_OUT"] = probeOut_;
    std::vector<char> block = environmentBlock(changes);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, block.data(), nullptr, &startup,
                        &started))
        return;
    process_.reset(started.hProcess);
    OwnedHandle thread(started.hThread);
    id_ = started.dwProcessId;
}

Program::~Program() {
    if (process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
        TerminateProcess(process_.get(), 1);
        WaitForSingleObject(process_.get(), kWaitMs);
    }
}

HWND Program::waitForWindow(const char* caption, int timeoutMs) const {
    if (!process_) return nullptr;
    return waitUntil(
        [&] {
            WindowSearch search{id_, caption, nullptr};
            EnumWindows(matchWindow, reinterpret_cast<LPARAM>(&search));
            return search.found;
        },
        [](HWND found) { return found != nullptr; }, timeoutMs);
}

bool Program::waitForExit(DWORD& status, int timeoutMs) {
    if (!process_) return false;
    if (WaitForSingleObject(process_.get(), static_cast<DWORD>(timeoutMs)) != WAIT_OBJECT_0) return false;
    return GetExitCodeProcess(process_.get(), &status) != 0;
}

DWORD Program::closeWindow(HWND window) {
    PostMessageA(window, WM_CLOSE, 0, 0);
    DWORD status = 0xDEAD;
    return waitForExit(status) ? status : 0xDEAD;
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

void setItemText(HWND dialog, int id, const std::string& text) { SetDlgItemTextA(dialog, id, text.c_str()); }

void typeInto(HWND control, const std::string& text) {
    for (char c : text) SendMessageA(control, WM_CHAR, static_cast<unsigned char>(c), 1);
}

bool isChecked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

void setChecked(HWND dialog, int id, bool checked) { CheckDlgButton(dialog, id, checked ? BST_CHECKED : BST_UNCHECKED); }

void click(HWND dialog, int id) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

// The wide-character message: across processes, Wine returns only the
// first character of an item through CB_GETLBTEXT in its ANSI form.
std::vector<std::string> comboItems(HWND combo) {
    std::vector<std::string> items;
    LRESULT count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        LRESULT length = SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
        std::wstring wide(static_cast<std::size_t>(length > 0 ? length : 0) + 1, L'\0');
        SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(wide.data()));
        std::string item;
        for (wchar_t c : wide) {
            if (c == L'\0') break;
            item += static_cast<char>(c);  // the tests use ASCII names
        }
        items.push_back(item);
    }
    return items;
}

HWND focusOf(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info)) return nullptr;
    return info.hwndFocus;
}

std::string messageBoxText(HWND box) {
    constexpr int kMessageBoxTextId = 0xFFFF;  // the static that holds a message box's text
    return itemText(box, kMessageBoxTextId);
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
    RegistryKey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, key.receive()) != ERROR_SUCCESS) return false;
    DWORD size = 0;
    LONG result = RegQueryValueExA(key.get(), name, nullptr, &value.type, nullptr, &size);
    if (result == ERROR_SUCCESS) {
        value.bytes.assign(size, 0);
        result = RegQueryValueExA(key.get(), name, nullptr, &value.type, value.bytes.data(), &size);
        value.bytes.resize(size);
    }
    return result == ERROR_SUCCESS;
}

std::map<std::string, RegistryValue> readAllSettings() {
    std::map<std::string, RegistryValue> values;
    RegistryKey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, key.receive()) != ERROR_SUCCESS) return values;
    for (DWORD index = 0;; ++index) {
        char name[256];
        DWORD nameSize = sizeof name;
        if (RegEnumValueA(key.get(), index, name, &nameSize, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        RegistryValue value;
        if (readSetting(name, value)) values[name] = value;
    }
    return values;
}

namespace {
void writeSetting(const char* name, DWORD type, const void* data, DWORD size) {
    RegistryKey key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_WRITE, nullptr, key.receive(), nullptr) !=
        ERROR_SUCCESS)
        return;
    RegSetValueExA(key.get(), name, 0, type, static_cast<const BYTE*>(data), size);
}
}  // namespace

void writeTextSetting(const char* name, const std::string& text) {
    writeSetting(name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

void writeNumberSetting(const char* name, std::uint32_t number) {
    writeSetting(name, REG_DWORD, &number, sizeof number);
}


bool loadInside(DWORD processId, const std::string& dllPath) {
    OwnedHandle process(OpenProcess(PROCESS_ALL_ACCESS, FALSE, processId));
    if (!process) return false;
    void* remote = VirtualAllocEx(process.get(), nullptr, dllPath.size() + 1, MEM_COMMIT, PAGE_READWRITE);
    WriteProcessMemory(process.get(), remote, dllPath.c_str(), dllPath.size() + 1, nullptr);
    auto loadLibrary = reinterpret_cast<LPTHREAD_START_ROUTINE>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "LoadLibraryA")));
    OwnedHandle thread(CreateRemoteThread(process.get(), nullptr, 0, loadLibrary, remote, 0, nullptr));
    bool ran = thread && WaitForSingleObject(thread.get(), kWaitMs) == WAIT_OBJECT_0;
    VirtualFreeEx(process.get(), remote, 0, MEM_RELEASE);
    return ran;
}

bool loadRecordingHook(DWORD processId, const char* dllVariable, const std::string& record) {
    return loadInside(processId, windowsPathOf(dllVariable)) &&
           GetFileAttributesA((record + ".hooked").c_str()) != INVALID_FILE_ATTRIBUTES;
}

DWORD serviceProcess(const char* name) {
    DWORD id = 0;
    onService(name, SERVICE_QUERY_STATUS, [&id](SC_HANDLE handle) {
        SERVICE_STATUS_PROCESS status{};
        DWORD size = 0;
        if (QueryServiceStatusEx(handle, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof status,
                                 &size))
            id = status.dwProcessId;
    });
    return id;
}

std::string systemVariable(const char* name) {
    char value[MAX_PATH] = {};
    DWORD size = sizeof value;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment", name,
                     RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
        return "";
    return value;
}

std::vector<HookedCall> readHookRecord(const std::string& path) {
    std::vector<HookedCall> calls;
    FILE* in = std::fopen(path.c_str(), "rb");
    if (in == nullptr) return calls;
    HookedCall call{};
    while (std::fscanf(in, "%llu %llu", &call.what, &call.at) == 2) calls.push_back(call);
    std::fclose(in);
    return calls;
}

Program::Inside Program::lookInside() const {
    Inside inside;
    DeleteFileA(probeOut_.c_str());
    if (!loadInside(id_, windowsPathOf("MARIVEL_PROBE_DLL"))) return inside;
    bool written = waitUntil([&] { return GetFileAttributesA(probeOut_.c_str()) != INVALID_FILE_ATTRIBUTES; },
                             [](bool found) { return found; });
    if (!written) return inside;
    FILE* in = std::fopen(probeOut_.c_str(), "rb");
    if (in == nullptr) return inside;
    inside.read = true;
    char line[1024];
    while (std::fgets(line, sizeof line, in) != nullptr) {
        std::string text = line;
        if (!text.empty() && text.back() == '\n') text.pop_back();
        if (text.rfind("icons\t", 0) == 0 && text.size() >= 9) {
            inside.hasBigIcon = text[6] == '1';
            inside.answersDragIcon = text[8] == '1';
            continue;
        }
        if (text.rfind("balloon\t", 0) == 0 && text.size() >= 10) {
            Inside::Balloon balloon;
            balloon.shown = text[8] == '1';
            std::size_t handleEnd = text.find('\t', 10);
            std::size_t idEnd = handleEnd == std::string::npos ? handleEnd : text.find('\t', handleEnd + 1);
            std::size_t titleEnd = idEnd == std::string::npos ? idEnd : text.find('\t', idEnd + 1);
            if (titleEnd == std::string::npos) continue;
            auto handle = static_cast<std::uintptr_t>(std::strtoull(text.c_str() + 10, nullptr, 10));
            balloon.window = reinterpret_cast<HWND>(handle);
            balloon.control = std::atoi(text.c_str() + handleEnd + 1);
            balloon.title = text.substr(idEnd + 1, titleEnd - idEnd - 1);
            balloon.text = text.substr(titleEnd + 1);
            inside.balloons.push_back(balloon);
            continue;
        }
        if (text.rfind("comctl32\t", 0) == 0) {
            inside.commonControlsFile = text.substr(9);
            continue;
        }
        if (text.rfind("load\t", 0) == 0) {
            std::size_t flagAt = text.find('\t', 5);
            if (flagAt == std::string::npos || text.size() < flagAt + 3) continue;
            inside.loads.push_back({text.substr(5, flagAt - 5), text[flagAt + 1] == '1', text.substr(flagAt + 3)});
            continue;
        }
        if (text.rfind("dpi\t", 0) == 0) {
            std::sscanf(text.c_str(), "dpi\t%d", &inside.screenDpi);
            continue;
        }
        if (text.rfind("text\t", 0) == 0) {
            Inside::Text shown;
            int consumed = 0;
            if (std::sscanf(text.c_str(), "text\t%d\t%d\t%d\t%d\t%d\t%d\t%n", &shown.id, &shown.width,
                            &shown.height, &shown.ascent, &shown.clientWidth, &shown.clientHeight, &consumed) == 6) {
                shown.text = text.substr(static_cast<std::size_t>(consumed));
                inside.texts.push_back(shown);
            }
            continue;
        }
        std::size_t tab = text.find('\t');
        if (tab == std::string::npos) continue;
        inside.systemMenu.push_back({static_cast<unsigned>(std::stoul(text.substr(0, tab))), text.substr(tab + 1)});
    }
    std::fclose(in);
    return inside;
}

ScreenImage::ScreenImage(const RECT& area)
    : width_(area.right - area.left), height_(area.bottom - area.top), rowSize_((width_ * 3 + 3) & ~3) {
    if (width_ <= 0 || height_ <= 0) {
        width_ = height_ = rowSize_ = 0;
        return;
    }
    WindowDc screen(nullptr);
    Owned<HDC, DeleteDC> memory(CreateCompatibleDC(screen.get()));
    BITMAPINFO info{};
    info.bmiHeader = header();
    void* bits = nullptr;
    OwnedGdiObject<HBITMAP> image(CreateDIBSection(screen.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    SelectedObject selected(memory.get(), image.get());
    BitBlt(memory.get(), 0, 0, width_, height_, screen.get(), area.left, area.top, SRCCOPY);
    GdiFlush();
    const auto* bytes = static_cast<const std::uint8_t*>(bits);
    rows_.assign(bytes, bytes + static_cast<std::size_t>(rowSize_) * static_cast<std::size_t>(height_));
}

BITMAPINFOHEADER ScreenImage::header() const {
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = width_;
    header.biHeight = height_;  // bottom-up, as BMP files are
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    return header;
}

COLORREF ScreenImage::pixel(int x, int y) const {
    // Rows bottom-up; each pixel blue, green, red.
    std::size_t row = static_cast<std::size_t>(height_ - 1 - y) * static_cast<std::size_t>(rowSize_);
    const std::uint8_t* at = rows_.data() + row + static_cast<std::size_t>(x) * 3;
    return RGB(at[2], at[1], at[0]);
}

bool ScreenImage::save(const std::string& path) const {
    if (rows_.empty()) return false;
    BITMAPINFOHEADER info = header();
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(rows_.size());
    bool saved = false;
    if (FILE* out = std::fopen(path.c_str(), "wb")) {
        saved = std::fwrite(&file, sizeof file, 1, out) == 1 && std::fwrite(&info, sizeof info, 1, out) == 1 &&
                std::fwrite(rows_.data(), 1, rows_.size(), out) == rows_.size();
        std::fclose(out);
    }
    return saved;
}

bool saveWindowImage(HWND window, const std::string& path) {
    RECT box;
    return GetWindowRect(window, &box) && ScreenImage(box).save(path);
}

BalloonOnScreen balloonOnScreen(HWND balloon) {
    COLORREF background = GetSysColor(COLOR_INFOBK), text = GetSysColor(COLOR_INFOTEXT);
    RECT box{};
    GetWindowRect(balloon, &box);
    int quarterWidth = (box.right - box.left) / 4, quarterHeight = (box.bottom - box.top) / 4;
    ScreenImage half({box.left + quarterWidth, box.top + quarterHeight, box.right - quarterWidth,
                        box.bottom - quarterHeight});
    BalloonOnScreen seen;
    for (int y = 0; y < half.height(); ++y)
        for (int x = 0; x < half.width(); ++x) {
            COLORREF pixel = half.pixel(x, y);
            ++seen.pixels;
            seen.background += pixel == background;
            seen.text += pixel == text;
        }
    int middle = (box.top + box.bottom) / 2;
    ScreenImage row({box.left, middle, box.right, middle + 1});
    constexpr int kEdge = 3;  // pixels at each end where the outline may fall
    bool left = false, right = false;
    for (int x = 0; x < kEdge && x < row.width(); ++x) {
        left = left || row.pixel(x, 0) == text;
        right = right || row.pixel(row.width() - 1 - x, 0) == text;
    }
    seen.outlined = left && right;
    return seen;
}

}  // namespace driver
