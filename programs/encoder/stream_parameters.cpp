#include "programs/encoder/stream_parameters.h"

#include <cstdlib>
#include <sstream>

#include "common/ascii_case.h"
#include "common/frame_sizes.h"
#include "common/setting_limits.h"

namespace {

bool ParseCount(const std::string& text, int64_t multiplier, int64_t& out) {
    if (text.empty() || text[0] < '0' || text[0] > '9') return false;
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    std::string suffix = AsciiLower(end);
    if (suffix == "k") v *= 1000;
    else if (suffix == "m") v *= 1000 * 1000;
    else if (suffix == "g") v *= 1000.0 * 1000 * 1000;
    else if (!suffix.empty()) return false;
    v *= static_cast<double>(multiplier);
    if (v > 1e15) return false;
    out = static_cast<int64_t>(v);
    return true;
}

bool ParseSize(const std::string& text, int& w, int& h) {
    int64_t a, b;
    if (const FrameSize* named = FindFrameSize(text)) {
        a = named->width;
        b = named->height;
    } else {
        std::string lower = AsciiLower(text);
        size_t x = lower.find('x');
        if (x == std::string::npos) return false;
        if (!ParseCount(lower.substr(0, x), 1, a) || !ParseCount(lower.substr(x + 1), 1, b)) return false;
    }
    // The settings' frame side limits, named sizes too: every size the panel lets through.
    if (!kFrameSideRange.Holds(a) || !kFrameSideRange.Holds(b)) return false;
    w = static_cast<int>(a);
    h = static_cast<int>(b);
    return true;
}

}  // namespace

bool ParseStreamParameters(const std::string& text, StreamParameters& out, std::string& error) {
    out = StreamParameters();
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::istringstream words(line);
        std::string name, value, extra;
        if (!(words >> name) || name[0] == '#') continue;
        words >> value;
        std::string key = AsciiLower(name);
        bool ok = true;
        if (key == "videoframerate") {
            char* end = nullptr;
            out.frameRate = std::strtod(value.c_str(), &end);
            ok = !value.empty() && !*end && out.frameRate >= 0.1 && out.frameRate <= kFrameRateRange.max;
        } else if (key == "videosize") {
            ok = ParseSize(value, out.width, out.height);
        } else if (key == "videobitrate") {
            ok = ParseCount(value, 1000, out.bitRate);
        } else if (key == "videobitratetolerance") {
            ok = ParseCount(value, 1000, out.bitRateTolerance);
        } else if (key == "filemaxsize") {
            ok = ParseCount(value, 1, out.fileMaxSize);
        } else {
            continue;
        }
        if (!ok) {
            error = "bad value in stream parameters: " + line;
            return false;
        }
    }
    return true;
}
