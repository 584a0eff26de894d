// The encoder's command line, in the option style of the old ffmpeg:
//   -f FORMAT -r RATE -i DEVICE [-sameq] [-vhook "watermark -f PATH [-m MODE] [-t RRGGBB]"] URL
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct FeedUrl {
    std::string host;
    uint16_t port = 80;
    std::string path;  // starts with '/'
};

struct EncoderOptions {
    std::wstring format = L"vfwcap";  // "vfwcap" or "testsrc"
    double frameRate = 25.0;
    int device = 0;
    bool sameQuality = false;
    bool watermark = false;
    std::wstring watermarkPath;
    int watermarkMode = 0;
    uint32_t watermarkThreshold = 0x808080;
    FeedUrl output;
};

// Splits the video hook's argument into words at spaces. A backslash followed by a space
// keeps that space and the rest of its run of spaces in the word, and is itself dropped;
// every other backslash is literal. This undoes the panel's escaping of the program folder.
std::vector<std::wstring> SplitHookWords(const std::wstring& text);

// Parses "http://host[:port]/path"; false for anything else.
bool ParseFeedUrl(const std::wstring& url, FeedUrl& out);

// False, with a message naming the culprit, on an unknown option, a missing or bad value,
// or a missing output address.
bool ParseEncoderOptions(const std::vector<std::wstring>& args, EncoderOptions& out, std::wstring& error);
