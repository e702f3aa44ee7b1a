// The real marivel.exe under Wine, watched as a user and a system would
// watch it over minutes. Servers come from tests/harness/with-peers
// (MARIVEL_NTP_PEER, shifted by MARIVEL_PEER_SHIFT seconds).
//   wine_soak.exe display SECONDS   the time field read every 2 ms
//   wine_soak.exe flood SECONDS     the same while bench/Flood.cpp floods the
//                                   program's port: writes DIR/ready once the
//                                   correction is in, stops at DIR/done
//                                   (DIR = MARIVEL_SOAK_DIR, a Windows path)
//   wine_soak.exe load SECONDS SERVER   poll period 0 and a Ping every 100 ms;
//                                   threads, handles and working set every 10 s
//   wine_soak.exe footprint OTHER.exe   marivel.exe beside another program
//   wine_soak.exe service SECONDS MSI   the time service installed from MSI
//                                   against the NTP peer, PollPeriod 1, and
//                                   asked "now" every 61 s: the error of each
//                                   clock setting (recorded by the hook, its
//                                   record named by MARIVEL_HOOK_OUT among the
//                                   system's variables), its working set and
//                                   its CPU time over the run
#include <windows.h>
#include <winternl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "HookedClock.h"
#include "link/ServiceLink.h"

namespace {

double nowMs() {
    FILETIME now;
    GetSystemTimePreciseAsFileTime(&now);
    unsigned long long ticks = (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return static_cast<double>(ticks - 116444736000000000ull) / 1e4;  // since 1970
}

double peerShift() {
    const char* shift = std::getenv("MARIVEL_PEER_SHIFT");
    return shift != nullptr ? std::atof(shift) : 0.0;
}

std::string ntpPeer() {
    const char* peer = std::getenv("MARIVEL_NTP_PEER");
    return peer != nullptr ? peer : "";
}

// The instant the clock shows (24-hour form, "HH:MM:SS " and "Mon DD,
// YYYY"), in seconds since 1970, or -1.
long long shownSecond(HWND clock) {
    std::string time = driver::itemText(clock, IDC_CLOCK_TIME), date = driver::itemText(clock, IDC_CLOCK_DATE);
    std::tm fields{};
    char month[4] = {};
    if (std::sscanf(time.c_str(), "%d:%d:%d", &fields.tm_hour, &fields.tm_min, &fields.tm_sec) != 3 ||
        std::sscanf(date.c_str(), "%3s %d, %d", month, &fields.tm_mday, &fields.tm_year) != 3)
        return -1;
    static const char* const kMonths = "JanFebMarAprMayJunJulAugSepOctNovDec";
    const char* found = std::strstr(kMonths, month);
    if (found == nullptr) return -1;
    fields.tm_mon = static_cast<int>(found - kMonths) / 3;
    fields.tm_year -= 1900;
    fields.tm_isdst = -1;
    return static_cast<long long>(std::mktime(&fields));
}

struct ProcessFigures {
    std::size_t threads = 0;
    DWORD handles = 0;
    double workingSetKb = 0;
    double cpuMs = 0;
};

// Queries a table of the system's, growing the buffer until it fits.
std::vector<unsigned char> systemTable(SYSTEM_INFORMATION_CLASS table) {
    std::vector<unsigned char> buffer(1 << 20);
    ULONG needed = 0;
    NTSTATUS status;
    while ((status = NtQuerySystemInformation(table, buffer.data(), static_cast<ULONG>(buffer.size()), &needed)) ==
               static_cast<NTSTATUS>(0xC0000004L) &&  // STATUS_INFO_LENGTH_MISMATCH
           buffer.size() < (64u << 20))
        buffer.resize(buffer.size() * 2);
    if (status != 0) buffer.clear();
    return buffer;
}

// The handles a process holds, counted in the system's handle table: under
// Wine the process list's handle count is the size of the process's table.
DWORD handleCount(DWORD processId) {
    struct HandleEntry {
        ULONG ownerId;
        BYTE objectType, flags;
        USHORT value;
        PVOID object;
        ULONG access;
    };
    struct HandleTable {
        ULONG count;
        HandleEntry entries[1];
    };
    std::vector<unsigned char> buffer = systemTable(SystemHandleInformation);
    if (buffer.empty()) return 0;
    const auto* table = reinterpret_cast<const HandleTable*>(buffer.data());
    DWORD count = 0;
    for (ULONG i = 0; i < table->count; ++i)
        if (table->entries[i].ownerId == processId) ++count;
    return count;
}

// From the system's process list: the same on Windows and under Wine,
// where the per-process calls say little about another process.
ProcessFigures figuresOf(DWORD processId) {
    ProcessFigures figures;
    figures.handles = handleCount(processId);
    std::vector<unsigned char> buffer = systemTable(SystemProcessInformation);
    for (std::size_t offset = 0; !buffer.empty();) {
        const auto* entry = reinterpret_cast<const SYSTEM_PROCESS_INFORMATION*>(buffer.data() + offset);
        if (HandleToULong(entry->UniqueProcessId) == processId) {
            figures.threads = entry->NumberOfThreads;
            figures.workingSetKb = static_cast<double>(entry->VirtualMemoryCounters.WorkingSetSize) / 1024.0;
            figures.cpuMs = static_cast<double>(entry->UserTime.QuadPart + entry->KernelTime.QuadPart) / 1e4;
            break;
        }
        if (entry->NextEntryOffset == 0) break;
        offset += entry->NextEntryOffset;
    }
    return figures;
}

bool fileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Watches the time field: every change, its gap from the one before, when
// it came against the turn of the local clock's second, and how far the
// shown second is from the server's true time then.
class DisplayWatch {
public:
    explicit DisplayWatch(HWND clock, double shiftSeconds) : clock_(clock), shift_(shiftSeconds) {}

    void sample() {
        std::string text = driver::itemText(clock_, IDC_CLOCK_TIME);
        double at = nowMs();
        if (text == lastText_) return;
        lastText_ = text;
        long long shown = shownSecond(clock_);
        if (shown < 0) return;
        if (lastChangeAt_ > 0) {
            maxGapMs = std::max(maxGapMs, at - lastChangeAt_);
            long long step = shown - lastShown_;
            if (step > 1) skipped += step - 1;
            if (step < 1) repeated += 1 - step;
        }
        distancesMs.push_back(static_cast<double>(shown) * 1000.0 - (at + shift_ * 1000.0));
        // Negative: before the second turned.
        afterTurnMs.push_back(at - std::round(at / 1000.0) * 1000.0);
        lastChangeAt_ = at;
        lastShown_ = shown;
    }

    double maxGapMs = 0;
    long long skipped = 0, repeated = 0;
    std::vector<double> distancesMs;
    std::vector<double> afterTurnMs;

private:
    HWND clock_;
    double shift_;
    std::string lastText_;
    double lastChangeAt_ = 0;
    long long lastShown_ = 0;
};

// One row: the median and the range of `values`.
void printSpread(const char* what, const std::vector<double>& values) {
    if (values.empty()) return;
    std::vector<double> sorted = values;
    std::sort(sorted.begin(), sorted.end());
    std::printf("| %s | median %.0f, from %.0f to %.0f |\n", what, sorted[sorted.size() / 2], sorted.front(),
                sorted.back());
}

void prepare(const std::string& server, std::uint32_t pollPeriod) {
    driver::deleteSettings();
    driver::writeTextSetting("TimeServer", server);
    driver::writeTextSetting("Port", "ntp");
    driver::writeNumberSetting("PollPeriod", pollPeriod);
    driver::writeNumberSetting("24HourDisplay", 1);
}

bool waitForCorrection(HWND clock, double shift) {
    return driver::waitUntil([&] { return shownSecond(clock); },
                             [&](long long shown) {
                                 return shown > 0 && std::fabs(static_cast<double>(shown) * 1000.0 -
                                                               (nowMs() + shift * 1000.0)) < 2000.0;
                             }) > 0;
}

int display(int seconds) {
    double shift = peerShift();
    prepare(ntpPeer(), 60);
    driver::Program clock;
    HWND window = clock.waitForWindow("Marivel 95");
    if (window == nullptr || !waitForCorrection(window, shift)) return 1;
    DisplayWatch watch(window, shift);
    // Read often enough to time each change to a few milliseconds.
    for (double end = nowMs() + seconds * 1000.0; nowMs() < end; Sleep(2)) watch.sample();
    std::printf("| what, over %d s | figure |\n| --- | --- |\n", seconds);
    std::printf("| changes seen | %zu |\n| largest gap between two changes, ms | %.0f |\n", watch.distancesMs.size(),
                watch.maxGapMs);
    std::printf("| shown seconds skipped / shown twice | %lld / %lld |\n", watch.skipped, watch.repeated);
    printSpread("change seen after the local clock's second turned, ms", watch.afterTurnMs);
    long long late = std::count_if(watch.afterTurnMs.begin(), watch.afterTurnMs.end(),
                                   [](double ms) { return ms < 0.0 || ms > 50.0; });
    std::printf("| changes before the turn or more than 50 ms after it | %lld |\n", late);
    printSpread("shown second minus true server time at each change, ms", watch.distancesMs);
    clock.closeWindow(window);
    return 0;
}

int flood(int seconds) {
    double shift = peerShift();
    std::string dir = driver::windowsPathOf("MARIVEL_SOAK_DIR");
    prepare("", 60);
    // Settings fail as a standard user's do, so that the window goes on
    // showing the server's time, and every attempt is still recorded.
    bench::HookedClock clock;
    if (!clock.start(true)) return 1;
    HWND dialog = clock.openSettingsAndPing(ntpPeer(), "ntp");
    if (dialog == nullptr) return 1;
    driver::click(dialog, IDOK);
    if (!waitForCorrection(clock.window, shift)) return 1;
    Sleep(2000);  // the tick after the change of server asks again
    std::size_t callsBefore = clock.calls().size();
    ProcessFigures before = figuresOf(clock.program->id());
    if (FILE* ready = std::fopen((dir + "\\ready").c_str(), "wb")) std::fclose(ready);

    DisplayWatch watch(clock.window, shift);
    int pings = 0, wrongShown = 0;
    double start = nowMs();
    for (double lastPing = start; nowMs() < start + seconds * 1000.0 && !fileExists(dir + "\\done"); Sleep(50)) {
        watch.sample();
        long long shown = shownSecond(clock.window);
        // A ping changes nothing shown until its answer comes, and a lost
        // answer leaves the last one: only a false time is off.
        if (shown > 0 && std::fabs(static_cast<double>(shown) * 1000.0 - (nowMs() + shift * 1000.0)) > 2500.0)
            ++wrongShown;
        if (nowMs() - lastPing > 5000) {
            PostMessageA(clock.window, WM_SYSCOMMAND, IDM_PING, 0);
            lastPing = nowMs();
            ++pings;
        }
    }
    Sleep(2000);
    ProcessFigures after = figuresOf(clock.program->id());
    std::vector<driver::HookedCall> calls = clock.calls();
    int trueSettings = 0, falseSettings = 0;
    for (std::size_t i = callsBefore; i < calls.size(); ++i)
        (std::fabs(calls[i].errorMs(shift)) < 2000.0 ? trueSettings : falseSettings)++;
    bool running = WaitForSingleObject(clock.program->process(), 0) == WAIT_TIMEOUT;
    std::printf("| during the flood | figure |\n| --- | --- |\n");
    std::printf("| largest gap between two changes of the time, ms | %.0f |\n", watch.maxGapMs);
    std::printf("| samples showing a time off the server's by more than 2.5 s | %d |\n", wrongShown);
    std::printf("| pings through the system menu / clock settings tried from the real server | %d / %d |\n", pings,
                trueSettings);
    std::printf("| clock settings tried from a false reply | %d |\n", falseSettings);
    std::printf("| working set before / after, KB | %.0f / %.0f |\n", before.workingSetKb, after.workingSetKb);
    std::printf("| threads before / after | %zu / %zu |\n", before.threads, after.threads);
    std::printf("| still running afterwards | %s |\n", running ? "yes" : "no");
    clock.close();
    return 0;
}

int load(int seconds, const std::string& server) {
    prepare(server, 0);
    driver::Program clock;
    HWND window = clock.waitForWindow("Marivel 95");
    if (window == nullptr) return 1;
    std::printf("| after, s | threads | handles | working set, KB |\n| --- | --- | --- | --- |\n");
    std::vector<ProcessFigures> samples;
    double start = nowMs();
    for (int tenth = 0; nowMs() < start + seconds * 1000.0; ++tenth) {
        PostMessageA(window, WM_SYSCOMMAND, IDM_PING, 0);
        if (tenth % 100 == 0) {
            samples.push_back(figuresOf(clock.id()));
            const ProcessFigures& figures = samples.back();
            std::printf("| %.0f | %zu | %lu | %.0f |\n", (nowMs() - start) / 1000.0, figures.threads,
                        static_cast<unsigned long>(figures.handles), figures.workingSetKb);
            std::fflush(stdout);
        }
        Sleep(100);
    }
    auto range = [&](auto field) {
        auto [least, most] = std::minmax_element(samples.begin(), samples.end(),
                                                 [&](const auto& a, const auto& b) { return field(a) < field(b); });
        return std::to_string(static_cast<long long>(field(*least))) + " to " +
               std::to_string(static_cast<long long>(field(*most)));
    };
    if (!samples.empty())
        std::printf("| all %zu samples | %s | %s | %s |\n", samples.size(),
                    range([](const ProcessFigures& f) { return static_cast<double>(f.threads); }).c_str(),
                    range([](const ProcessFigures& f) { return static_cast<double>(f.handles); }).c_str(),
                    range([](const ProcessFigures& f) { return f.workingSetKb; }).c_str());
    clock.closeWindow(window);
    return 0;
}

struct Footprint {
    double fileKb = 0, firstDisplayMs = 0;
    ProcessFigures at60, idleStart;
};

// The file's size is the release size: both programs are stripped as they
// are built, as shipped, their symbols kept in a .debug file beside them.
Footprint footprintOf(const std::string& path, bool corrected) {
    Footprint result;
    WIN32_FILE_ATTRIBUTE_DATA file{};
    if (GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &file))
        result.fileKb = static_cast<double>(file.nFileSizeLow) / 1024.0;
    double start = nowMs();
    driver::Program program({}, path);
    HWND window = program.waitForWindow(nullptr);
    if (window == nullptr) return result;
    if (corrected) waitForCorrection(window, peerShift());
    result.firstDisplayMs = nowMs() - start;
    Sleep(static_cast<DWORD>(std::max(0.0, start + 60000.0 - nowMs())));
    result.idleStart = figuresOf(program.id());
    Sleep(60000);
    result.at60 = figuresOf(program.id());
    program.closeWindow(window);
    return result;
}

int footprint(const std::string& other) {
    prepare(ntpPeer(), 60);
    Footprint ours = footprintOf(driver::programPath(), true);
    Footprint theirs = footprintOf(other, false);
    auto row = [](const char* what, double a, double b) {
        if (b != 0)
            std::printf("| %s | %.1f | %.1f | %.2f |\n", what, a, b, a / b);
        else
            std::printf("| %s | %.1f | %.1f | - |\n", what, a, b);
    };
    std::printf("| what | marivel.exe | minimal dialog | ratio |\n| --- | --- | --- | --- |\n");
    row("release file size (stripped), KB", ours.fileKb, theirs.fileKb);
    row("working set after 60 s, KB", ours.idleStart.workingSetKb, theirs.idleStart.workingSetKb);
    row("threads after 60 s", static_cast<double>(ours.idleStart.threads), static_cast<double>(theirs.idleStart.threads));
    row("handles after 60 s", ours.idleStart.handles, theirs.idleStart.handles);
    row("CPU time over 60 idle s, ms", ours.at60.cpuMs - ours.idleStart.cpuMs,
        theirs.at60.cpuMs - theirs.idleStart.cpuMs);
    row("start to first (corrected) display, ms", ours.firstDisplayMs, theirs.firstDisplayMs);
    return 0;
}

// The service's settings of the clock against the true time (this
// machine's clock plus the peer's shift): the first, at its start, comes
// before the hook is in place; then a poll a minute and an ask a minute.
// Its CPU time over the run includes those exchanges.
int timeService(int seconds, const std::string& package) {
    std::string record = driver::systemVariable("MARIVEL_HOOK_OUT");
    if (record.empty()) {
        std::fprintf(stderr, "wine_soak: no MARIVEL_HOOK_OUT among the system's variables\n");
        return 1;
    }
    if (driver::msiexec("/i \"" + package + "\" SERVER=" + ntpPeer() + " POLLPERIOD=1") != 0) {
        std::fprintf(stderr, "wine_soak: the service did not install\n");
        return 1;
    }
    DWORD id = driver::serviceProcess(service::kServiceName);
    if (id == 0 || !driver::loadRecordingHook(id, "MARIVEL_HOOK_DLL", record)) {
        std::fprintf(stderr, "wine_soak: the service did not start or could not be hooked\n");
        return 1;
    }
    ProcessFigures start = figuresOf(id);
    // The asks fall half-way between the polls, clear of the 15 s floor.
    double startMs = nowMs(), lastAskMs = startMs - 31000;
    while (nowMs() - startMs < seconds * 1000.0) {
        Sleep(1000);
        if (nowMs() - lastAskMs < 61000) continue;
        service::askServiceNow();
        lastAskMs = nowMs();
    }
    ProcessFigures end = figuresOf(id);
    double runS = (nowMs() - startMs) / 1000.0;
    std::vector<double> errors, sizes;
    for (const driver::HookedCall& call : driver::readHookRecord(record)) {
        errors.push_back(call.errorMs(peerShift()));
        sizes.push_back(std::fabs(errors.back()));
    }
    driver::msiexec("/x \"" + package + "\"");
    if (errors.empty()) {
        std::fprintf(stderr, "wine_soak: the service set nothing\n");
        return 1;
    }
    std::sort(sizes.begin(), sizes.end());
    std::printf("| what, over %.0f s | figure |\n| --- | --- |\n", runS);
    std::printf("| clock settings measured | %zu |\n", errors.size());
    std::string each;
    for (double error : errors) each += (each.empty() ? "" : ", ") + std::to_string(error).substr(0, 6);
    std::printf("| each setting's error (set minus true), ms | %s |\n", each.c_str());
    std::printf("| error's size: median / 90th percentile / worst, ms | %.3f / %.3f / %.3f |\n",
                sizes[(sizes.size() - 1) / 2], sizes[std::min(sizes.size() - 1, sizes.size() * 9 / 10)],
                sizes.back());
    std::printf("| working set at the start / the end, KB | %.0f / %.0f |\n", start.workingSetKb, end.workingSetKb);
    std::printf("| threads, handles at the end | %zu, %lu |\n", end.threads, end.handles);
    std::printf("| CPU time over the run, ms (share of one core) | %.0f (%.4f %%) |\n", end.cpuMs - start.cpuMs,
                (end.cpuMs - start.cpuMs) / (runS * 10.0));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string mode = argc > 1 ? argv[1] : "";
    int seconds = argc > 2 ? std::atoi(argv[2]) : 60;
    if (mode == "display") return display(seconds);
    if (mode == "flood") return flood(seconds);
    if (mode == "load" && argc > 3) return load(seconds, argv[3]);
    if (mode == "footprint" && argc > 2) return footprint(argv[2]);
    if (mode == "service" && argc > 3) return timeService(seconds, argv[3]);
    std::fprintf(stderr,
                 "usage: wine_soak.exe display|flood SECONDS | load SECONDS SERVER | footprint OTHER.exe | "
                 "service SECONDS MSI\n");
    return 2;
}
