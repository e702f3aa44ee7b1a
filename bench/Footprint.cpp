// The clock's footprint beside a minimal Win32 dialog program built the
// same way: file size, start to first display (for the clock, the first
// corrected time), and after 60 s the working set, threads and handles,
// and the CPU time of the next 60 idle seconds. Both run at once, under
// Wine, the clock against the NTP peer of tests/harness/with-peers.
//   make footprint
#include <windows.h>
#include <winternl.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "Driver.h"
#include "ui/resource.h"

namespace {

constexpr DWORD kSettleMs = 60000;  // before the snapshot
constexpr DWORD kIdleMs = 60000;    // CPU time is summed over this

struct Figures {
    double fileKb = 0;
    double firstDisplayMs = -1;
    double workingSetKb = 0;
    int threads = 0;
    ULONG handles = 0;
    double idleCpuMs = 0;
};

double fileKb(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<double>(data.nFileSizeHigh) * 4294967296.0 + data.nFileSizeLow) / 1024.0;
}

// What the system's process list says about one process: the same list
// on Windows and under Wine, where the per-process calls give nothing for
// another process.
struct ProcessFigures {
    bool found = false;
    int threads = 0;
    ULONG handles = 0;
    double cpuMs = 0;  // user and kernel
    double workingSetKb = 0;
};

ProcessFigures processFigures(DWORD processId) {
    ProcessFigures figures;
    std::vector<std::uint8_t> buffer(1 << 20);
    ULONG needed = 0;
    while (NtQuerySystemInformation(SystemProcessInformation, buffer.data(), static_cast<ULONG>(buffer.size()),
                                    &needed) == static_cast<NTSTATUS>(0xC0000004L)) {  // STATUS_INFO_LENGTH_MISMATCH
        buffer.resize(buffer.size() * 2);
    }
    for (std::size_t offset = 0;;) {
        auto* entry = reinterpret_cast<SYSTEM_PROCESS_INFORMATION*>(buffer.data() + offset);
        if (HandleToULong(entry->UniqueProcessId) == processId) {
            figures.found = true;
            figures.threads = static_cast<int>(entry->NumberOfThreads);
            figures.handles = entry->HandleCount;
            figures.cpuMs = static_cast<double>(entry->UserTime.QuadPart + entry->KernelTime.QuadPart) / 10000.0;
            figures.workingSetKb = static_cast<double>(entry->VirtualMemoryCounters.WorkingSetSize) / 1024.0;
            break;
        }
        if (entry->NextEntryOffset == 0) break;
        offset += entry->NextEntryOffset;
    }
    return figures;
}

std::string localText(std::time_t when) {
    std::tm fields{};
    localtime_s(&fields, &when);
    char text[32] = {};
    std::strftime(text, sizeof text, "%I:%M:%S %p", &fields);
    return text;
}

// The clock shows local time moved on by the peer's shift (give or take
// the second a tick may lag).
bool showsCorrectedTime(HWND clock, long shift) {
    std::string shown = driver::itemText(clock, IDC_CLOCK_TIME);
    std::time_t now = std::time(nullptr);
    for (long lag = -1; lag <= 1; ++lag)
        if (shown == localText(now + shift + lag)) return true;
    return false;
}

// A running program, started from `path` (the driver starts MARIVEL_EXE).
struct Run {
    std::string path;
    std::unique_ptr<driver::Program> program;
    HWND window = nullptr;
    ULONGLONG startedAt = 0;
    Figures figures;

    void start() {
        _putenv_s("MARIVEL_EXE", path.c_str());
        startedAt = GetTickCount64();
        program = std::make_unique<driver::Program>();
        figures.fileKb = fileKb(path);
    }
    double sinceStartMs() const { return static_cast<double>(GetTickCount64() - startedAt); }
};

void snapshot(Run& run) {
    ProcessFigures now = processFigures(run.program->id());
    run.figures.workingSetKb = now.workingSetKb;
    run.figures.threads = now.threads;
    run.figures.handles = now.handles;
}

void row(const char* what, double clock, double minimal, const char* unit) {
    char ratio[32] = "-";
    if (minimal != 0) std::snprintf(ratio, sizeof ratio, "%.2f", clock / minimal);
    std::printf("| %s | %.0f%s | %.0f%s | %s |\n", what, clock, unit, minimal, unit, ratio);
}

}  // namespace

int main() {
    const char* ntpPeer = std::getenv("MARIVEL_NTP_PEER");
    const char* shiftText = std::getenv("MARIVEL_PEER_SHIFT");
    if (ntpPeer == nullptr || shiftText == nullptr) {
        std::fprintf(stderr, "footprint: run it through tests/harness/with-peers\n");
        return 1;
    }
    const long shift = std::atol(shiftText);
    driver::deleteSettings();
    driver::writeTextSetting("TimeServer", ntpPeer);
    driver::writeTextSetting("Port", "ntp");

    Run clock, minimal;
    clock.path = driver::programPath();
    minimal.path = driver::windowsPathOf("MARIVEL_MINIMAL_EXE");
    minimal.start();
    minimal.window = minimal.program->waitForWindow("Minimal");
    if (minimal.window != nullptr) minimal.figures.firstDisplayMs = minimal.sinceStartMs();
    clock.start();
    clock.window = clock.program->waitForWindow("Marivel 95");
    while (clock.window != nullptr && clock.sinceStartMs() < driver::kWaitMs) {
        if (showsCorrectedTime(clock.window, shift)) {
            clock.figures.firstDisplayMs = clock.sinceStartMs();
            break;
        }
        Sleep(5);
    }
    if (clock.window == nullptr || minimal.window == nullptr) {
        std::fprintf(stderr, "footprint: a window did not appear\n");
        return 1;
    }

    Sleep(kSettleMs);
    snapshot(clock);
    snapshot(minimal);
    double clockCpu = processFigures(clock.program->id()).cpuMs;
    double minimalCpu = processFigures(minimal.program->id()).cpuMs;
    Sleep(kIdleMs);
    clock.figures.idleCpuMs = processFigures(clock.program->id()).cpuMs - clockCpu;
    minimal.figures.idleCpuMs = processFigures(minimal.program->id()).cpuMs - minimalCpu;

    std::printf("| what | marivel.exe | minimal dialog | ratio |\n| --- | --- | --- | --- |\n");
    row("file size", clock.figures.fileKb, minimal.figures.fileKb, " KB");
    row("working set after 60 s", clock.figures.workingSetKb, minimal.figures.workingSetKb, " KB");
    row("threads after 60 s", clock.figures.threads, minimal.figures.threads, "");
    row("handles after 60 s", clock.figures.handles, minimal.figures.handles, "");
    row("CPU time over the next 60 idle s", clock.figures.idleCpuMs, minimal.figures.idleCpuMs, " ms");
    row("start to first display (clock: corrected time)", clock.figures.firstDisplayMs,
        minimal.figures.firstDisplayMs, " ms");

    PostMessageA(clock.window, WM_CLOSE, 0, 0);
    PostMessageA(minimal.window, WM_COMMAND, IDCANCEL, 0);
    DWORD status = 0;
    clock.program->waitForExit(status);
    minimal.program->waitForExit(status);
    return 0;
}
