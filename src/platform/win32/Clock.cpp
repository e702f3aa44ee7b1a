#include <windows.h>

#include <ctime>

#include "platform/Native.h"
#include "platform/win32/SystemModules.h"

namespace platform {

ClockSetting nativeSetSystemClock(const UtcTime& utc) {
    SYSTEMTIME fields{};  // the day of the week is left 0: SetSystemTime ignores it
    fields.wYear = static_cast<WORD>(utc.year);
    fields.wMonth = static_cast<WORD>(utc.month);
    fields.wDay = static_cast<WORD>(utc.day);
    fields.wHour = static_cast<WORD>(utc.hour);
    fields.wMinute = static_cast<WORD>(utc.minute);
    fields.wSecond = static_cast<WORD>(utc.second);
    fields.wMilliseconds = static_cast<WORD>(utc.milliseconds);
    if (SetSystemTime(&fields)) return ClockSetting::Done;
    return GetLastError() == ERROR_PRIVILEGE_NOT_HELD ? ClockSetting::NotAllowed : ClockSetting::Failed;
}

std::uint64_t counterNow() {
    LARGE_INTEGER value;
    QueryPerformanceCounter(&value);
    return static_cast<std::uint64_t>(value.QuadPart);
}

std::uint64_t counterFrequency() {
    LARGE_INTEGER value;
    QueryPerformanceFrequency(&value);
    return static_cast<std::uint64_t>(value.QuadPart);
}

namespace {

std::int64_t microsecondsOf(const FILETIME& time) {
    constexpr std::int64_t k1601To1970 = 116444736000000000;  // in 100 ns units
    ULARGE_INTEGER ticks{{time.dwLowDateTime, time.dwHighDateTime}};
    return (static_cast<std::int64_t>(ticks.QuadPart) - k1601To1970) / 10;
}

using FileTimeReader = void(WINAPI*)(LPFILETIME);

// Looked up rather than imported, so that the program still starts on
// Windows 7, which lacks it; and looked up at the first read, not at start.
FileTimeReader preciseReader() {
    static const FileTimeReader reader = [] {
        auto precise = procedureOf<FileTimeReader>(GetModuleHandleA("kernel32.dll"), "GetSystemTimePreciseAsFileTime");
        return precise != nullptr ? precise : GetSystemTimeAsFileTime;
    }();
    return reader;
}

}  // namespace

std::int64_t preciseWallClockUs() {
    FILETIME now;
    preciseReader()(&now);
    return microsecondsOf(now);
}

// The run-time's time() reads this clock: its seconds turn together.
std::int64_t wallClockMs() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return microsecondsOf(now) / 1000;
}

std::int64_t sinceBootMs() { return static_cast<std::int64_t>(GetTickCount64()); }

void reloadTimeZone() { _tzset(); }

bool localCalendar(std::int64_t seconds, std::tm& fields) {
    __time64_t when = seconds;
    return _localtime64_s(&fields, &when) == 0;
}

}  // namespace platform
