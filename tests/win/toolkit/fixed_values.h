// Values that users, the shell and other programs rely on, spelled out for the tests
// here rather than taken from the product's own constants: a wrong constant in the
// product must fail a test, not agree with it.
#pragma once
#include <windows.h>

namespace fixed {

constexpr wchar_t kPanelTitle[] = L"Orvane DEMO (Web Edition)";
constexpr wchar_t kProgramCaption[] = L"OrvaneDemo";  // boxes before the panel: the executable's name

// The Start/Stop button: its caption is the panel's state.
constexpr int kStartStopButton = 1000;
constexpr wchar_t kStartCaption[] = L"&Start Server";
constexpr wchar_t kStopCaption[] = L"&Stop Server";
constexpr int kPortEdit = 1008;
constexpr int kTestPageButton = 1018;
constexpr int kCaptureFormatButton = 1005;   // the driver's video format dialog
constexpr int kCameraSettingsButton = 1006;  // the driver's video source dialog

// The tray icon and its menu.
constexpr UINT kTrayCallbackMessage = 0x2937;
constexpr UINT kOpenCommand = 32776;
constexpr wchar_t kOpenItem[] = L"&Open";
constexpr UINT kExitCommand = 32777;
constexpr wchar_t kExitItem[] = L"&Exit";
// What the shell broadcasts when its notification area starts (again).
constexpr wchar_t kTaskbarCreatedMessage[] = L"TaskbarCreated";

// The stop request that the panel sets and each streaming program watches: a named
// event, this prefix and the program's process id.
constexpr wchar_t kStopRequestPrefix[] = L"Local\\OrvaneDemoStop-";

constexpr UINT kHelpCommand = 57670;  // the standard Help command
constexpr WORD kMainIcon = 128;       // window, taskbar and dragging
constexpr WORD kPanelTemplate = 100;

}  // namespace fixed
