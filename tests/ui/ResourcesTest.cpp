// The resources compiled into marivel.exe, read back from the file: the
// dialog templates, strings, icon, version and manifest.
#include <gtest/gtest.h>

#include <windows.h>

#include <regex>
#include <string>
#include <vector>

#include "e2e/Driver.h"

namespace {

HMODULE program() {
    static HMODULE module = LoadLibraryExA(driver::programPath().c_str(), nullptr,
                                           LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    return module;
}

std::vector<unsigned char> resource(LPCSTR type, LPCSTR name) {
    HRSRC found = FindResourceA(program(), name, type);
    if (found == nullptr) return {};
    const auto* data = static_cast<const unsigned char*>(LockResource(LoadResource(program(), found)));
    return std::vector<unsigned char>(data, data + SizeofResource(program(), found));
}

// Reads a DLGTEMPLATEEX, as the resource compiler lays out a DIALOGEX.
class TemplateReader {
public:
    explicit TemplateReader(std::vector<unsigned char> bytes) : bytes_(std::move(bytes)) {}
    WORD word() {
        WORD value = 0;
        if (at_ + 2 <= bytes_.size()) value = static_cast<WORD>(bytes_[at_] | bytes_[at_ + 1] << 8);
        at_ += 2;
        return value;
    }
    DWORD dword() {
        DWORD low = word();
        return low | static_cast<DWORD>(word()) << 16;
    }
    short coordinate() { return static_cast<short>(word()); }
    // A name or ordinal: "#n" for an ordinal, "" for none.
    std::string nameOrOrdinal() {
        WORD first = word();
        if (first == 0) return "";
        if (first == 0xFFFF) return "#" + std::to_string(word());
        std::string text(1, static_cast<char>(first));
        for (WORD c = word(); c != 0; c = word()) text += static_cast<char>(c);
        return text;
    }
    void alignToDword() { at_ = (at_ + 3) & ~std::size_t{3}; }
    void skip(std::size_t count) { at_ += count; }

private:
    std::vector<unsigned char> bytes_;
    std::size_t at_ = 0;
};

struct DialogItem {
    DWORD exStyle, style;
    short x, y, cx, cy;
    DWORD id;
    std::string windowClass, title;
};

struct DialogTemplate {
    WORD version = 0, signature = 0;
    DWORD exStyle = 0, style = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    std::string title, font;
    WORD pointSize = 0;
    std::vector<DialogItem> items;
};

DialogTemplate readDialog(int id) {
    TemplateReader in(resource(MAKEINTRESOURCEA(5) /* RT_DIALOG */, MAKEINTRESOURCEA(id)));
    DialogTemplate dialog;
    dialog.version = in.word();
    dialog.signature = in.word();
    in.dword();  // help id
    dialog.exStyle = in.dword();
    dialog.style = in.dword();
    WORD count = in.word();
    dialog.x = in.coordinate();
    dialog.y = in.coordinate();
    dialog.cx = in.coordinate();
    dialog.cy = in.coordinate();
    in.nameOrOrdinal();  // menu
    in.nameOrOrdinal();  // class
    dialog.title = in.nameOrOrdinal();
    if (dialog.style & DS_SETFONT) {
        dialog.pointSize = in.word();
        in.word();   // weight
        in.skip(2);  // italic, character set
        dialog.font = in.nameOrOrdinal();
    }
    for (WORD i = 0; i < count; ++i) {
        in.alignToDword();
        DialogItem item{};
        in.dword();  // help id
        item.exStyle = in.dword();
        item.style = in.dword();
        item.x = in.coordinate();
        item.y = in.coordinate();
        item.cx = in.coordinate();
        item.cy = in.coordinate();
        item.id = in.dword();
        item.windowClass = in.nameOrOrdinal();
        item.title = in.nameOrOrdinal();
        in.skip(in.word());  // creation data
        dialog.items.push_back(item);
    }
    return dialog;
}

const char* const kStaticClass = "#130";  // 0x0082

}  // namespace

TEST(Resources, ClockTemplateIsTheTinyCaptionedWindow) {
    ASSERT_NE(program(), nullptr) << "cannot open marivel.exe (MARIVEL_EXE)";
    DialogTemplate clock = readDialog(102);
    ASSERT_EQ(clock.signature, 0xFFFF);
    constexpr DWORD kStyle = WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_MODALFRAME | DS_3DLOOK;
    EXPECT_EQ(clock.style & kStyle, kStyle);
    EXPECT_EQ(clock.style & (WS_MAXIMIZEBOX | WS_THICKFRAME | DS_CENTER | DS_ABSALIGN), 0u);
    EXPECT_EQ(clock.exStyle, static_cast<DWORD>(WS_EX_APPWINDOW));
    EXPECT_EQ(clock.x, 0);
    EXPECT_EQ(clock.y, 0);
    EXPECT_EQ(clock.cx, 50);
    EXPECT_EQ(clock.cy, 25);
    EXPECT_EQ(clock.title, "Marivel 95");
    EXPECT_EQ(clock.font, "Arial");
    EXPECT_EQ(clock.pointSize, 16);
    ASSERT_EQ(clock.items.size(), 2u);
    const DialogItem& time = clock.items[0];
    EXPECT_EQ(time.id, 1009u);
    EXPECT_EQ(time.windowClass, kStaticClass);
    EXPECT_EQ(time.title, "Time Check");
    EXPECT_EQ((std::vector<short>{time.x, time.y, time.cx, time.cy}), (std::vector<short>{2, 2, 46, 8}));
    const DialogItem& date = clock.items[1];
    EXPECT_EQ(date.id, 1008u);
    EXPECT_EQ(date.title, "In Progress");
    EXPECT_EQ((std::vector<short>{date.x, date.y, date.cx, date.cy}), (std::vector<short>{2, 13, 46, 9}));
    for (const DialogItem& item : clock.items) {
        EXPECT_EQ(item.style & SS_TYPEMASK, static_cast<DWORD>(SS_CENTER)) << item.id;
        EXPECT_TRUE(item.style & SS_SUNKEN) << item.id;
        // Without SS_NOTIFY a static lets mouse clicks through to the window.
        EXPECT_FALSE(item.style & SS_NOTIFY) << item.id;
    }
}

TEST(Resources, AboutTemplateShowsTheIconAndTheVersion) {
    DialogTemplate about = readDialog(100);
    EXPECT_EQ(about.title, "About Marivel 95");
    EXPECT_EQ(about.font, "MS Sans Serif");
    EXPECT_EQ(about.pointSize, 8);
    bool icon = false, version = false, defaultButton = false;
    for (const DialogItem& item : about.items) {
        icon = icon || ((item.style & SS_TYPEMASK) == SS_ICON && item.title == "#128");
        version = version || item.title == "Marivel 95 Version 1.11";
        defaultButton = defaultButton || (item.id == IDOK && (item.style & 0xF) == BS_DEFPUSHBUTTON);
    }
    EXPECT_TRUE(icon);
    EXPECT_TRUE(version);
    EXPECT_TRUE(defaultButton);
}

TEST(Resources, SystemMenuStrings) {
    char text[64];
    ASSERT_GT(LoadStringA(program(), 101, text, sizeof text), 0);
    EXPECT_STREQ(text, "&About Marivel...");
    ASSERT_GT(LoadStringA(program(), 102, text, sizeof text), 0);
    EXPECT_STREQ(text, "&Ping Time Server");
    ASSERT_GT(LoadStringA(program(), 103, text, sizeof text), 0);
    EXPECT_STREQ(text, "&Settings");
}

TEST(Resources, IconHasThreeSizes) {
    std::vector<unsigned char> group = resource(MAKEINTRESOURCEA(14) /* RT_GROUP_ICON */, MAKEINTRESOURCEA(128));
    ASSERT_GE(group.size(), 6u);
    std::vector<int> sizes;
    int count = group[4] | group[5] << 8;
    for (std::size_t i = 0; i < static_cast<std::size_t>(count); ++i) sizes.push_back(group[6 + 14 * i]);
    EXPECT_EQ(sizes, (std::vector<int>{16, 32, 48}));
}

TEST(Resources, VersionIsOnePointEleven) {
    std::vector<unsigned char> version = resource(MAKEINTRESOURCEA(16) /* RT_VERSION */, MAKEINTRESOURCEA(1));
    ASSERT_FALSE(version.empty());
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(version.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x0001000Bu);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x0001000Bu);
}

TEST(Resources, ManifestAsksForCommonControlsSixAsInvoker) {
    std::vector<unsigned char> manifest = resource(MAKEINTRESOURCEA(24) /* RT_MANIFEST */, MAKEINTRESOURCEA(1));
    std::string text(manifest.begin(), manifest.end());
    EXPECT_NE(text.find("Microsoft.Windows.Common-Controls"), std::string::npos);
    EXPECT_NE(text.find("version=\"6.0.0.0\""), std::string::npos);
    EXPECT_NE(text.find("level=\"asInvoker\""), std::string::npos);
}

TEST(Resources, ManifestDeclaresTheProgramSystemDpiAware) {
    // Without it Windows would stretch the window as a blurred bitmap on a
    // high-DPI screen; "true" is system-aware.
    std::vector<unsigned char> manifest = resource(MAKEINTRESOURCEA(24) /* RT_MANIFEST */, MAKEINTRESOURCEA(1));
    std::string text(manifest.begin(), manifest.end());
    EXPECT_TRUE(std::regex_search(
        text, std::regex(R"(<application xmlns="urn:schemas-microsoft-com:asm\.v3">\s*<windowsSettings>\s*)"
                         R"(<dpiAware xmlns="http://schemas\.microsoft\.com/SMI/2005/WindowsSettings">true</dpiAware>)")))
        << text;
}
