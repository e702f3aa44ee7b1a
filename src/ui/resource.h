// Resource identifiers shared by the .rc script and the code.
#pragma once

#define IDD_ABOUT 100
#define IDD_CLOCK 102
#define IDD_SETTINGS 134
#define IDR_MAINFRAME 128

#define IDS_ABOUT_COMMAND 101
#define IDS_PING_COMMAND 102
#define IDS_SETTINGS_COMMAND 103
#define IDS_CLOCK_REFUSED_TITLE 104
#define IDS_CLOCK_REFUSED_TEXT 105
#define IDS_SERVER_REFUSED_TITLE 106
#define IDS_SERVER_REFUSED_TEXT 107
#define IDS_NO_ANSWER_TITLE 108
#define IDS_NO_ANSWER_TEXT 109
#define IDS_NO_ANSWER_TIME_STYLE_TEXT 110
#define IDS_TIME_SERVICE_TITLE 111
#define IDS_NAME_NOT_FOUND_TITLE 112

#define IDC_CLOCK_DATE 1008
#define IDC_CLOCK_TIME 1009

// The settings dialog.
#define IDC_SET_CLOCK 3
#define IDC_PING_NOW 4
#define IDC_SET_SYSTEM_CLOCK 1004
#define IDC_SERVER 1005
#define IDC_POLL_SPIN 1006
#define IDC_POLL_PERIOD 1007
#define IDC_ALWAYS_ON_TOP 1008
#define IDC_PORT 1009
#define IDC_PORT_GROUP 1016
#define IDC_LAST_RESPONSE 1019
#define IDC_HOUR_DISPLAY_24 1020
#define IDC_DELETE 1021

// System-menu commands; the system keeps the low four bits for itself.
#define IDM_ABOUT 0x0010
#define IDM_PING 0x0020
#define IDM_SETTINGS 0x0030
