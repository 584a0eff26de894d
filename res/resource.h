// Resource identifiers shared by app.rc and the code.
#pragma once

#define IDR_MAINFRAME 128
#define IDI_LAMP_GREEN 130
#define IDI_LAMP_RED 131
#define IDR_TRAY_MENU 133
#define IDD_CONTROL_PANEL 100

// Controls of dialog 100.
#define IDC_START_STOP 1000
#define IDC_FRAME_RATE 1003
#define IDC_BIT_RATE 1004
#define IDC_CAPTURE_FORMAT 1005
#define IDC_CAMERA_SETTINGS 1006
#define IDC_PORT 1008
#define IDC_BANNER 1009
#define IDC_LOG_VIDEO_FILE 1010
#define IDC_FILE_FORMAT 1011
#define IDC_SIZE_PRESET 1012
#define IDC_WIDTH 1013
#define IDC_HEIGHT 1014
#define IDC_ORIGINAL_RESOLUTION 1015
#define IDC_RESIZE_TO 1016
#define IDC_TEST_PAGE 1018

// Commands of the tray menu.
#define ID_TRAY_OPEN 32776
#define ID_TRAY_EXIT 32777

// Resource type of dialog-initialisation data (combo-box lists).
#define RT_DLGINIT_DATA 240
