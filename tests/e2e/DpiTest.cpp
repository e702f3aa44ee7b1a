// The clock on a high-DPI screen: its dialog-unit layout and its fonts grow
// with the system DPI, and no text is cut. (Wine treats every program as
// DPI-aware; the manifest's declaration, which Windows needs, is checked
// with the resources.)
#include <gtest/gtest.h>

#include <windows.h>

#include <regex>

#include "ClockTest.h"
#include "Driver.h"
#include "ui/resource.h"

namespace {

// The system DPI a program started from now on sees; Wine reads it from
// here at each program's start. The value before is put back at the end.
class SystemDpi {
public:
    explicit SystemDpi(DWORD dpi) {
        RegCreateKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                        key_.receive(), nullptr);
        DWORD size = sizeof before_;
        hadValue_ = RegQueryValueExA(key_.get(), kName, nullptr, nullptr, reinterpret_cast<BYTE*>(&before_),
                                     &size) == ERROR_SUCCESS;
        RegSetValueExA(key_.get(), kName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof dpi);
    }
    ~SystemDpi() {
        if (hadValue_)
            RegSetValueExA(key_.get(), kName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&before_), sizeof before_);
        else
            RegDeleteValueA(key_.get(), kName);
    }
    SystemDpi(const SystemDpi&) = delete;
    SystemDpi& operator=(const SystemDpi&) = delete;

private:
    static constexpr const char* kName = "LogPixels";
    RegistryKey key_;
    DWORD before_ = 0;
    bool hadValue_ = false;
};

// Whether a text has a letter that reaches below the baseline; one that
// has none is whole when the part above the baseline fits.
bool reachesBelowTheBaseline(const std::string& text) {
    return text.find_first_of("gjpqyQ,;()[]{}_|") != std::string::npos;
}

struct Seen {
    SIZE client{};
    int textHeight = 0;  // of the time, in its font
};

class HighDpi : public e2e::ClockTest {
protected:
    Seen clockAt(DWORD dpi);
};

// Starts the clock at `dpi` with no server to ask, waits for the time to
// show, and checks from inside that every text fits its control.
Seen HighDpi::clockAt(DWORD dpi) {
    SystemDpi systemDpi(dpi);
    e2e::prepareSettings("");
    Seen seen;
    EXPECT_TRUE(startClock()) << dpi << " DPI";
    if (window == nullptr) return seen;
    driver::waitUntil([&] { return driver::itemText(window, IDC_CLOCK_TIME); },
                      [](const std::string& time) { return std::regex_match(time, std::regex(R"(\d\d:\d\d:\d\d [AP]M)")); });
    RECT client{};
    GetClientRect(window, &client);
    seen.client = {client.right, client.bottom};

    driver::Program::Inside inside = clock->lookInside();
    EXPECT_TRUE(inside.read) << dpi << " DPI: the probe read nothing";
    EXPECT_EQ(inside.screenDpi, static_cast<int>(dpi));
    EXPECT_EQ(inside.texts.size(), 2u) << dpi << " DPI: the time and the date";
    for (const auto& shown : inside.texts) {
        EXPECT_FALSE(shown.text.empty()) << dpi << " DPI, control " << shown.id;
        EXPECT_LE(shown.width, shown.clientWidth) << dpi << " DPI: \"" << shown.text << "\" is cut";
        // The time's control is two pixels shorter than its font's line at
        // any DPI, which only the part below the baseline would need.
        int needed = reachesBelowTheBaseline(shown.text) ? shown.height : shown.ascent;
        EXPECT_LE(needed, shown.clientHeight) << dpi << " DPI: \"" << shown.text << "\" is cut";
        if (shown.id == IDC_CLOCK_TIME) seen.textHeight = shown.height;
    }
    EXPECT_EQ(closeClock(), 0u) << dpi << " DPI";
    return seen;
}

}  // namespace

TEST_F(HighDpi, AtOneAndAHalfTimesTheDpiTheWindowAndItsFontsGrowAndNothingIsCut) {
    Seen normal = clockAt(96);
    Seen high = clockAt(144);
    ASSERT_GT(normal.client.cx, 0);
    ASSERT_GT(normal.textHeight, 0);
    // Dialog units follow the font's average character size, which grows
    // by about the ratio of the DPIs, 1.5, but not exactly: 1.4 to 1.6.
    auto grew = [](long small, long large) { return large * 100 >= small * 140 && large * 100 <= small * 160; };
    EXPECT_TRUE(grew(normal.client.cx, high.client.cx)) << normal.client.cx << " -> " << high.client.cx;
    EXPECT_TRUE(grew(normal.client.cy, high.client.cy)) << normal.client.cy << " -> " << high.client.cy;
    EXPECT_TRUE(grew(normal.textHeight, high.textHeight)) << normal.textHeight << " -> " << high.textHeight;
}
