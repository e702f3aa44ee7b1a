#include <windows.h>

#include "platform/Native.h"

namespace platform {

bool nativeSetSystemClock(const UtcTime& utc) {
    SYSTEMTIME fields{};  // the day of the week is left 0: SetSystemTime ignores it
    fields.wYear = static_cast<WORD>(utc.year);
    fields.wMonth = static_cast<WORD>(utc.month);
    fields.wDay = static_cast<WORD>(utc.day);
    fields.wHour = static_cast<WORD>(utc.hour);
    fields.wMinute = static_cast<WORD>(utc.minute);
    fields.wSecond = static_cast<WORD>(utc.second);
    fields.wMilliseconds = static_cast<WORD>(utc.milliseconds);
    return SetSystemTime(&fields) != 0;
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

bool localCalendar(std::int64_t seconds, std::tm& fields) {
    __time64_t when = seconds;
    return _localtime64_s(&fields, &when) == 0;
}

}  // namespace platform
