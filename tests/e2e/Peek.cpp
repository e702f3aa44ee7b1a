// Shows the clock the way `make run` does without a display: starts
// marivel.exe, lets it run, prints what its window shows, saves a picture
// of it, and closes it.
//   marivel_peek.exe SECONDS IMAGE.bmp
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "Driver.h"

int main(int argc, char** argv) {
    int seconds = argc > 1 ? std::atoi(argv[1]) : 5;
    std::string image = argc > 2 ? argv[2] : "marivel.bmp";
    driver::Program clock;
    HWND window = clock.waitForWindow("Marivel 95");
    if (window == nullptr) {
        std::printf("The clock window did not appear.\n");
        return 1;
    }
    Sleep(static_cast<DWORD>(seconds) * 1000);
    std::printf("Caption: %s\nTime:    %s\nDate:    %s\n", driver::windowText(window).c_str(),
                driver::itemText(window, 1009).c_str(), driver::itemText(window, 1008).c_str());
    bool saved = driver::saveWindowImage(window, image);
    PostMessageA(window, WM_CLOSE, 0, 0);
    DWORD status = 0;
    clock.waitForExit(status);
    std::printf("Closed with status %lu%s\n", static_cast<unsigned long>(status), saved ? "" : " (no picture)");
    return saved ? 0 : 1;
}
