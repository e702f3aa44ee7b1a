// The program run from a Downloads folder that holds whatever else the
// browser saved there: a control.exe and DLLs planted beside it and in the
// current folder never run. Set Clock starts the system's control panel, and
// DLLs load from the system folder only, the common controls still from the
// assembly the manifest asks for.
#include <gtest/gtest.h>

#include <windows.h>

#include <cctype>
#include <fstream>
#include <string>
#include <vector>

#include "ClockTest.h"
#include "Driver.h"
#include "ui/resource.h"

namespace {

std::string systemFolder() {
    char path[MAX_PATH] = {};
    GetSystemDirectoryA(path, sizeof path);
    return path;
}

bool samePath(const std::string& a, const std::string& b) { return lstrcmpiA(a.c_str(), b.c_str()) == 0; }

std::vector<std::string> linesOf(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// A folder of the test's own as a Downloads folder: marivel.exe with a
// planted control.exe and beside.dll; another control.exe and current.dll
// in the folder the clock starts in.
class DownloadsFolder : public e2e::ClockTest {
protected:
    void SetUp() override {
        char temp[MAX_PATH] = {};
        GetTempPathA(sizeof temp, temp);
        root = std::string(temp) + "marivel-downloads-" + std::to_string(GetCurrentProcessId());
        downloads = root + "\\Downloads";
        current = root + "\\Current";
        for (const std::string& folder : {root, downloads, current})
            ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr)) << folder;
        place(driver::programPath(), downloads + "\\marivel.exe");
        place(driver::windowsPathOf("MARIVEL_PLANTED_EXE"), downloads + "\\control.exe");
        place(driver::windowsPathOf("MARIVEL_PLANTED_EXE"), current + "\\control.exe");
        place(driver::windowsPathOf("MARIVEL_PLANTED_DLL"), downloads + "\\beside.dll");
        place(driver::windowsPathOf("MARIVEL_PLANTED_DLL"), current + "\\current.dll");
        GetCurrentDirectoryA(sizeof previousFolder, previousFolder);
        // The clock starts in the folder the test stands in.
        ASSERT_TRUE(SetCurrentDirectoryA(current.c_str()));
        e2e::prepareSettings("");
    }
    void TearDown() override {
        ClockTest::TearDown();
        SetCurrentDirectoryA(previousFolder);
        for (auto file = placed.rbegin(); file != placed.rend(); ++file) DeleteFileA(file->c_str());
        for (const std::string& folder : {downloads, current, root}) RemoveDirectoryA(folder.c_str());
    }

    void place(const std::string& from, const std::string& to) {
        ASSERT_TRUE(CopyFileA(from.c_str(), to.c_str(), TRUE)) << from << " -> " << to;
        placed.push_back(to);
    }
    bool startFromDownloads(driver::Environment environment) {
        environment["MARIVEL_PLANTED_OUT"] = plantedOut();
        placed.push_back(plantedOut());
        return startClock(environment, downloads + "\\marivel.exe");
    }
    std::string plantedOut() const { return root + "\\planted.txt"; }
    // The planted files that ran.
    std::vector<std::string> plantedRuns() const { return linesOf(plantedOut()); }

    std::string root, downloads, current;
    std::vector<std::string> placed;
    char previousFolder[MAX_PATH] = {};
};

}  // namespace

TEST_F(DownloadsFolder, SetClockStartsTheSystemsControlPanelNeverAPlantedOne) {
    std::string started = root + "\\started.txt";
    ASSERT_TRUE(startFromDownloads({{"MARIVEL_START_OUT", started}}));
    placed.insert(placed.end(), {started, started + ".hooked"});
    ASSERT_TRUE(driver::loadRecordingHook(clock->id(), "MARIVEL_START_HOOK_DLL", started)) << "the hook is not in place";
    HWND dialog = openSettings();
    ASSERT_NE(dialog, nullptr);

    // Each press of Set Clock, as recorded: image, show state, command line.
    std::string panel = systemFolder() + "\\control.exe";
    auto pressSetClock = [&](std::size_t press) {
        driver::click(dialog, IDC_SET_CLOCK);
        std::vector<std::string> calls = driver::waitUntil(
            [&] { return linesOf(started); }, [&](const std::vector<std::string>& lines) { return lines.size() >= press; });
        EXPECT_EQ(calls.size(), press);
        return calls.empty() ? std::string() : calls.back();
    };
    std::string expected = panel + "\t" + std::to_string(SW_SHOWNORMAL) + "\t\"" + panel + "\" timedate.cpl";
    EXPECT_PRED2(samePath, pressSetClock(1), expected) << "with control.exe beside the program and in the current folder";
    // Then only in the current folder; the one beside goes once whatever
    // was started from it has ended.
    std::string beside = downloads + "\\control.exe";
    driver::waitUntil([&] { return DeleteFileA(beside.c_str()) != FALSE; }, [](bool deleted) { return deleted; });
    EXPECT_PRED2(samePath, pressSetClock(2), expected) << "with control.exe in the current folder";
    EXPECT_TRUE(IsWindow(dialog)) << "the dialog stays open";
    driver::click(dialog, IDCANCEL);
    EXPECT_EQ(closeClock(), 0u);
    EXPECT_EQ(plantedRuns(), std::vector<std::string>{}) << "a planted program ran";
}

TEST_F(DownloadsFolder, DllsLoadFromTheSystemFolderOnlyAndTheCommonControlsFromTheirAssembly) {
    // msimg32.dll: a DLL of the system folder the program has not loaded.
    ASSERT_TRUE(startFromDownloads({{"MARIVEL_PROBE_LOAD", "beside.dll;current.dll;msimg32.dll"}}));
    driver::Program::Inside inside = clock->lookInside();
    ASSERT_TRUE(inside.read);
    ASSERT_EQ(inside.loads.size(), 3u);
    EXPECT_EQ(inside.loads[0].file, "") << "a DLL beside the program loads";
    EXPECT_EQ(inside.loads[1].file, "") << "a DLL in the current folder loads";
    EXPECT_FALSE(inside.loads[2].loadedAlready);
    EXPECT_PRED2(samePath, inside.loads[2].file, systemFolder() + "\\msimg32.dll");
    EXPECT_EQ(plantedRuns(), std::vector<std::string>{}) << "a planted DLL ran";

    // Common controls 6, as the manifest asks, from the side-by-side store.
    std::string file = inside.commonControlsFile;
    for (char& c : file) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_NE(file.find("\\winsxs\\amd64_microsoft.windows.common-controls_6595b64144ccf1df_6.0."), std::string::npos)
        << inside.commonControlsFile;
}
