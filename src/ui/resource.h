// Resource identifiers shared by the .rc script and the code.
#pragma once

#define IDD_ABOUT 100
#define IDD_CLOCK 102
#define IDD_SETTINGS 134
#define IDR_MAINFRAME 128

#define IDS_ABOUT_COMMAND 101
#define IDS_PING_COMMAND 102
#define IDS_SETTINGS_COMMAND 103

#define IDC_CLOCK_DATE 1008
#define IDC_CLOCK_TIME 1009

// System-menu commands; the system keeps the low four bits for itself.
#define IDM_ABOUT 0x0010
#define IDM_PING 0x0020
#define IDM_SETTINGS 0x0030
