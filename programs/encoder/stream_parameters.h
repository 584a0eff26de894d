// What the server tells the encoder about the stream its feed serves (GET of the feed):
// one directive a line, "Name value", as in the server's configuration.
#pragma once
#include <cstdint>
#include <string>

struct StreamParameters {
    double frameRate = 0;          // VideoFrameRate
    int width = 0, height = 0;     // VideoSize, 0 when not set
    int64_t bitRate = 0;           // VideoBitRate, bit/s; 0 when not set
    int64_t bitRateTolerance = 0;  // VideoBitRateTolerance, bit/s
    int64_t fileMaxSize = 0;       // FileMaxSize, bytes; 0 when not set
};

// Unknown directives are skipped (the server may say more than we use); a known one with
// a bad value is an error. Rates are given in kbit/s, sizes in bytes or with K, M, G.
bool ParseStreamParameters(const std::string& text, StreamParameters& out, std::string& error);
