// The console that the two streaming programs inherit from the panel (so that it can
// send them Ctrl+Break), made without a window. Windows 11 may hand a new console to
// its terminal application, whose window hiding the console window does not hide, so
// the console is made where no window can appear at all:
//   1. AllocConsoleWithOptions without a window (Windows 11 24H2 and later);
//   2. else the console of a helper started with CREATE_NO_WINDOW, which never has a
//      window, joined with AttachConsole; the helper then goes, the console stays;
//   3. else AllocConsole, with its window hidden once it shows.
#pragma once
#include <windows.h>

// ALLOC_CONSOLE_OPTIONS and its values, which older headers lack.
struct AllocConsoleOptions {
    DWORD mode;
    BOOL useShowWindow;
    WORD showWindow;
};
constexpr DWORD kAllocConsoleModeNoWindow = 2;
constexpr int kAllocConsoleNewConsole = 1;  // ALLOC_CONSOLE_RESULT
using AllocConsoleWithOptionsFunction = HRESULT(WINAPI*)(AllocConsoleOptions* options, int* result);

// What the console's creation asks of the system; tests replace it to see which path
// is taken when a function is missing or fails.
struct ConsoleSystem {
    AllocConsoleWithOptionsFunction allocConsoleWithOptions = nullptr;  // null where missing
    decltype(&::CreateProcessW) createProcess = ::CreateProcessW;
    decltype(&::AttachConsole) attachConsole = ::AttachConsole;
    decltype(&::WaitForSingleObject) waitForSingleObject = ::WaitForSingleObject;
    decltype(&::TerminateProcess) terminateProcess = ::TerminateProcess;
    decltype(&::AllocConsole) allocConsole = ::AllocConsole;
    decltype(&::GetConsoleWindow) getConsoleWindow = ::GetConsoleWindow;
    decltype(&::IsWindowVisible) isWindowVisible = ::IsWindowVisible;
    decltype(&::ShowWindow) showWindow = ::ShowWindow;
};

// This system's functions, AllocConsoleWithOptions looked up at run time.
ConsoleSystem SystemConsole();

enum class ConsoleMade {
    None,           // every way failed (the process already has a console, for one)
    WithoutWindow,  // AllocConsoleWithOptions
    FromHelper,     // the helper's windowless console
    HiddenWindow,   // AllocConsole, its window hidden
};

ConsoleMade MakeWindowlessConsole(const ConsoleSystem& system);

// The helper: the system's command processor, waiting for input that never comes.
constexpr wchar_t kConsoleHelper[] = L"cmd.exe";
constexpr wchar_t kConsoleHelperArguments[] = L" /d /q /k";
