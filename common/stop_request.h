// The stop request of a streaming program: a named manual-reset event of its process id
// that the program watches from its start and takes exactly as Ctrl+Break. The panel
// sets it where Ctrl+Break cannot be delivered, or has not ended the program in time.
#pragma once
#include <string>

std::wstring StopRequestName(unsigned long processId);
