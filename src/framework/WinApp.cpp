#include "framework/WinApp.h"

#include <commctrl.h>

#include "settings/win32/RegistryProfile.h"

namespace {
CWinApp* theApplication = nullptr;
}

CWinApp::CWinApp() { theApplication = this; }

CWinApp::~CWinApp() {
    if (theApplication == this) theApplication = nullptr;
}

CWinApp* CWinApp::current() { return theApplication; }

int CWinApp::run(HINSTANCE instance) {
    instance_ = instance;
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string name = path;
    std::size_t slash = name.find_last_of("\\/");
    if (slash != std::string::npos) name.erase(0, slash + 1);
    std::size_t dot = name.rfind('.');
    if (dot != std::string::npos) name.erase(dot);
    appName_ = name;
    startApplication();
    return 0;
}

std::string CWinApp::loadString(UINT id) const {
    char text[512] = {};  // longer than any string of ours
    int length = LoadStringA(instance_, id, text, sizeof text);
    return std::string(text, static_cast<std::size_t>(length > 0 ? length : 0));
}

void CWinApp::initCommonControls() {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_UPDOWN_CLASS};
    InitCommonControlsEx(&controls);
}

void CWinApp::setRegistryKey(const char* key) { profile_ = std::make_unique<RegistryProfile>(key, appName_); }

ProfileStore& CWinApp::profile() { return *profile_; }

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    CWinApp* app = CWinApp::current();
    return app != nullptr ? app->run(instance) : 1;
}
