// The application object: the one place the Windows entry point hands over
// to the program. A program derives from CWinApp, builds one process-wide
// instance, and does all its work in startApplication.
#pragma once
#include <windows.h>

#include <memory>
#include <string>

class CDialog;
class ProfileStore;

class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Runs the program; returning false ends it without a message loop.
    virtual bool startApplication() = 0;

    static CWinApp* current();
    // Called by WinMain: names the application after the program file and
    // runs startApplication. Returns the process exit status.
    int run(HINSTANCE instance);

    HINSTANCE instance() const { return instance_; }
    const std::string& appName() const { return appName_; }
    // A string resource of the program, up to 511 characters; empty when
    // there is none.
    std::string loadString(UINT id) const;

    // Registers the common controls the dialogs use (the standard ones and
    // the up-down control), which with the manifest gives them the system's
    // visual styles: the start's first step, where the old framework turned
    // on its 3-D look for controls.
    void initCommonControls();
    // The profile then lives under HKCU\Software\<key>\<application name>.
    void setRegistryKey(const char* key);
    // Only after setRegistryKey.
    ProfileStore& profile();

    // The main window owns the modal dialogs it opens; null when there is none.
    void setMainDialog(CDialog* dialog) { mainDialog_ = dialog; }
    CDialog* mainDialog() const { return mainDialog_; }

private:
    HINSTANCE instance_ = nullptr;
    std::string appName_;
    std::unique_ptr<ProfileStore> profile_;
    CDialog* mainDialog_ = nullptr;
};
