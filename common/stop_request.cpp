#include "common/stop_request.h"

// Local: the panel and its programs always share the session.
std::wstring StopRequestName(unsigned long processId) { return L"Local\\OrvaneDemoStop-" + std::to_wstring(processId); }
