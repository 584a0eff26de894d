// Resource ids of the test dialogs in win_tests.rc (200 and up; the program's are below).
#pragma once

#ifndef IDC_STATIC
#define IDC_STATIC -1
#endif

#define IDD_FW_TEST 200
#define IDC_FW_BUTTON 201
#define IDC_FW_STATIC 202
#define IDC_FW_EDIT1 203
#define IDC_FW_EDIT2 204
#define IDC_FW_EDIT3 205
#define IDC_FW_COMBO 206
#define IDC_FW_RADIO1 207
#define IDC_FW_RADIO2 208
#define IDC_FW_RADIO3 209
