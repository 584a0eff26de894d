// Resource identifiers shared by app.rc and the code.
#pragma once

#define IDR_MAINFRAME 128
#define IDI_LAMP_GREEN 130
#define IDI_LAMP_RED 131
#define IDR_TRAY_MENU 133
#define IDD_CONTROL_PANEL 100
