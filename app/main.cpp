#include "app/streamer_app.h"

// The one application object, constructed during static initialisation.
static CStreamerApp theApp;

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) { return theApp.Run(); }
