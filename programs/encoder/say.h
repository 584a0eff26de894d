// The encoder's messages: one line each, named as ours, on standard error and in its log.
#pragma once
#include <string>

#include "programs/common/run_log.h"

inline void Say(const std::string& text) { SayLine("orvane: " + text); }
