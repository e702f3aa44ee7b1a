// The installer built by `make dist`, used as a user would: installed
// silently with msiexec, its shortcuts and uninstall entry looked at, the
// installed clock started, then removed again. The package comes from
// MARIVEL_MSI.
#include <gtest/gtest.h>

#include <windows.h>
#include <msi.h>
#include <msiquery.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <fstream>
#include <iterator>
#include <regex>
#include <string>

#include "ClockTest.h"
#include "Driver.h"
#include "platform/win32/Owned.h"
#include "ui/resource.h"

namespace {

std::string knownFolder(int csidl) {
    char path[MAX_PATH] = {};
    SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string fileText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::string packagePath() { return driver::windowsPathOf("MARIVEL_MSI"); }

// Where a shortcut points, read through the shell as Explorer would.
std::string shortcutTarget(const std::string& link) {
    std::string target;
    IShellLinkA* shellLink = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(&shellLink))))
        return target;
    IPersistFile* file = nullptr;
    if (SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        std::wstring wide(link.begin(), link.end());
        char path[MAX_PATH] = {};
        if (SUCCEEDED(file->Load(wide.c_str(), STGM_READ)) &&
            SUCCEEDED(shellLink->GetPath(path, sizeof path, nullptr, 0)))
            target = path;
        file->Release();
    }
    shellLink->Release();
    return target;
}

using MsiHandle = Owned<MSIHANDLE, MsiCloseHandle>;

bool samePath(const std::string& a, const std::string& b) { return lstrcmpiA(a.c_str(), b.c_str()) == 0; }

struct PackageFacts {
    bool opened = false;
    std::string productCode;
    bool setsAllUsers = true;
    int wordCount = 0;
};

// What Windows Installer reads from the package before installing it.
PackageFacts readPackage(const std::string& path) {
    PackageFacts facts;
    MsiHandle database;
    if (MsiOpenDatabaseA(path.c_str(), MSIDBOPEN_READONLY, database.receive()) != ERROR_SUCCESS) return facts;
    facts.opened = true;
    auto property = [&](const char* name, std::string& value) {
        std::string query = std::string("SELECT `Value` FROM `Property` WHERE `Property` = '") + name + "'";
        MsiHandle view, record;
        bool found = false;
        if (MsiDatabaseOpenViewA(database.get(), query.c_str(), view.receive()) == ERROR_SUCCESS &&
            MsiViewExecute(view.get(), 0) == ERROR_SUCCESS &&
            MsiViewFetch(view.get(), record.receive()) == ERROR_SUCCESS) {
            char text[256] = {};
            DWORD size = sizeof text;
            found = MsiRecordGetStringA(record.get(), 1, text, &size) == ERROR_SUCCESS;
            value = text;
        }
        return found;
    };
    property("ProductCode", facts.productCode);
    std::string allUsers;
    facts.setsAllUsers = property("ALLUSERS", allUsers);
    MsiHandle summary;
    if (MsiGetSummaryInformationA(database.get(), nullptr, 0, summary.receive()) == ERROR_SUCCESS) {
        UINT type = 0;
        INT value = 0;
        if (MsiSummaryInfoGetPropertyA(summary.get(), 15 /* PID_WORDCOUNT */, &type, &value, nullptr, nullptr,
                                       nullptr) == ERROR_SUCCESS)
            facts.wordCount = value;
    }
    return facts;
}

// The uninstall entry of a product, as Add/Remove Programs lists it: its
// DisplayName and UninstallString. Wine keeps it in HKLM even for a
// per-user product, Windows in HKCU; both are looked at.
struct UninstallEntry {
    bool found = false;
    std::string name;
    std::string command;
};
UninstallEntry uninstallEntry(const std::string& productCode) {
    UninstallEntry entry;
    std::string key = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + productCode;
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        char text[512] = {};
        DWORD size = sizeof text;
        if (RegGetValueA(root, key.c_str(), "DisplayName", RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS)
            continue;
        entry.found = true;
        entry.name = text;
        size = sizeof text;
        if (RegGetValueA(root, key.c_str(), "UninstallString", RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ |
                                                                    RRF_NOEXPAND,
                         nullptr, text, &size) == ERROR_SUCCESS)
            entry.command = text;
    }
    return entry;
}

class Installer : public e2e::ClockTest {
protected:
    static void SetUpTestSuite() { CoInitialize(nullptr); }
    static void TearDownTestSuite() { CoUninitialize(); }

    const std::string package = packagePath();
    const std::string folder = knownFolder(CSIDL_LOCAL_APPDATA) + "\\Programs\\Marivel";
    const std::string program = folder + "\\marivel.exe";
    const std::string licence = folder + "\\LICENSE.txt";
    const std::string notice = folder + "\\NOTICE.txt";
    const std::string startMenuLink = knownFolder(CSIDL_PROGRAMS) + "\\Marivel 95.lnk";
    const std::string signInLink = knownFolder(CSIDL_STARTUP) + "\\Marivel 95.lnk";
};

}  // namespace

TEST_F(Installer, ThePackageInstallsPerUserWithoutAnAdministrator) {
    ASSERT_FALSE(package.empty()) << "MARIVEL_MSI is not set";
    PackageFacts facts = readPackage(package);
    ASSERT_TRUE(facts.opened) << package;
    EXPECT_TRUE(std::regex_match(facts.productCode, std::regex(R"(\{[0-9A-F-]{36}\})"))) << facts.productCode;
    EXPECT_FALSE(facts.setsAllUsers) << "ALLUSERS would make it a machine-wide install";
    EXPECT_NE(facts.wordCount & 8, 0) << "the summary must say that no elevation is needed";
}

TEST_F(Installer, InstallsRunsAndUninstallsLeavingTheUsersSettings) {
    ASSERT_FALSE(package.empty()) << "MARIVEL_MSI is not set";
    const std::string productCode = readPackage(package).productCode;
    for (bool startAtSignIn : {false, true}) {
        SCOPED_TRACE(startAtSignIn ? "STARTATSIGNIN=1" : "default");
        // The user's own settings: 24-hour display, and no server to ask.
        driver::deleteSettings();
        driver::writeTextSetting("TimeServer", "");
        driver::writeNumberSetting("24HourDisplay", 1);

        ASSERT_EQ(driver::msiexec("/i \"" + package + "\"" + (startAtSignIn ? " STARTATSIGNIN=1" : "")), 0u);
        EXPECT_TRUE(exists(program)) << program;
        EXPECT_TRUE(std::regex_search(fileText(licence), std::regex(R"(GNU GENERAL PUBLIC LICENSE\r\n +Version 2,)")))
            << licence;
        EXPECT_TRUE(std::regex_search(fileText(notice), std::regex(R"(apt-get source wolfssl=5\.5\.4-\S+\r\n)")))
            << "the notice names the wolfSSL source package built: " << notice;
        EXPECT_TRUE(samePath(shortcutTarget(startMenuLink), program)) << startMenuLink;
        EXPECT_EQ(exists(signInLink), startAtSignIn) << signInLink;
        if (startAtSignIn) {
            EXPECT_TRUE(samePath(shortcutTarget(signInLink), program)) << signInLink;
        }
        EXPECT_EQ(MsiQueryProductStateA(productCode.c_str()), INSTALLSTATE_DEFAULT);
        UninstallEntry entry = uninstallEntry(productCode);
        EXPECT_TRUE(entry.found);
        EXPECT_EQ(entry.name, "Marivel 95");
        EXPECT_TRUE(samePath(entry.command, "MsiExec.exe /X" + productCode)) << entry.command;

        {
            ASSERT_TRUE(startClock({}, program)) << "the installed clock shows no window";
            std::string time = driver::waitUntil(
                [&] { return driver::itemText(window, IDC_CLOCK_TIME); },
                [](const std::string& text) { return std::regex_match(text, std::regex(R"(\d\d:\d\d:\d\d )")); });
            EXPECT_TRUE(std::regex_match(time, std::regex(R"(\d\d:\d\d:\d\d )")))
                << "the 24-hour time of the user's settings, not \"" << time << "\"";
            EXPECT_EQ(closeClock(), 0u);
        }

        ASSERT_EQ(driver::msiexec("/x \"" + package + "\""), 0u);
        EXPECT_FALSE(exists(program));
        EXPECT_FALSE(exists(licence));
        EXPECT_FALSE(exists(folder));
        EXPECT_FALSE(exists(startMenuLink));
        EXPECT_FALSE(exists(signInLink));
        EXPECT_EQ(MsiQueryProductStateA(productCode.c_str()), INSTALLSTATE_UNKNOWN);
        EXPECT_FALSE(uninstallEntry(productCode).found);
        driver::RegistryValue value;
        EXPECT_TRUE(driver::readSetting("24HourDisplay", value) && value.number() == 1u)
            << "the user's settings stay";
        EXPECT_TRUE(driver::readSetting("TimeServer", value) && value.text().empty());
    }
}
