// The application object: loads the settings, runs the clock window until
// it closes, and saves the settings.
#pragma once
#include "framework/WinApp.h"

class CClockApp : public CWinApp {
public:
    bool startApplication() override;
};
