#include "programs/server/config.h"

#include <cctype>
#include <cstdlib>
#include <sstream>

#include "common/ascii_case.h"
#include "common/exit_reasons.h"
#include "common/frame_sizes.h"
#include "common/setting_limits.h"

namespace {

// Bounds that keep a typing error from asking for absurd resources.
constexpr uint64_t kMaxFeedBytes = 4ull << 30;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::vector<std::string> Words(const std::string& line) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && IsSpace(line[i])) ++i;
        size_t start = i;
        while (i < line.size() && !IsSpace(line[i])) ++i;
        if (i > start) words.push_back(line.substr(start, i - start));
    }
    return words;
}

// A whole decimal integer in [lo, hi].
bool ParseInt(const std::string& text, int64_t lo, int64_t hi, int64_t& out) {
    if (text.empty() || text.size() > 18) return false;
    size_t i = text[0] == '-' || text[0] == '+' ? 1 : 0;
    if (i == text.size()) return false;
    int64_t v = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        v = v * 10 + (text[i] - '0');
    }
    if (text[0] == '-') v = -v;
    if (v < lo || v > hi) return false;
    out = v;
    return true;
}

bool ParseIntField(const std::string& text, int lo, int hi, int& out) {
    int64_t v;
    if (!ParseInt(text, lo, hi, v)) return false;
    out = static_cast<int>(v);
    return true;
}

// A positive decimal number such as "15" or "29.97".
bool ParseRate(const std::string& text, double& out) {
    if (text.empty() || text.size() > 16) return false;
    bool dot = false, digit = false;
    for (char c : text) {
        if (c == '.' && !dot) dot = true;
        else if (c >= '0' && c <= '9') digit = true;
        else return false;
    }
    if (!digit) return false;
    double v = std::strtod(text.c_str(), nullptr);
    if (!(v > 0) || v > kFrameRateRange.max) return false;
    out = v;
    return true;
}

class Parser {
public:
    Parser(const std::string& fileName, ServerConfig& config) : fileName_(fileName), config_(config) {}

    bool Run(const std::string& text) {
        std::istringstream in(text);
        std::string line;
        while (std::getline(in, line)) {
            ++lineNo_;
            if (!Line(line)) return false;
        }
        if (feed_ || stream_)
            return Fail(sectionLine_, std::string("section <") + (feed_ ? "Feed" : "Stream") + "> is not closed");
        return Check();
    }

    std::string error;
    int exitCode = server_exit::kConfigInvalid;

private:
    bool Fail(int line, const std::string& message) {
        error = fileName_ + ":" + std::to_string(line) + ": " + message;
        return false;
    }
    bool Fail(const std::string& message) { return Fail(lineNo_, message); }
    bool BadValue(const std::string& directive) {
        for (size_t i = 0; i < kValueDirectiveCount; ++i)
            if (AsciiLower(directive) == AsciiLower(kValueDirectives[i]))
                exitCode = server_exit::kBadValueBase + static_cast<int>(i);
        return Fail("bad value for " + directive);
    }

    bool Line(const std::string& raw) {
        size_t i = 0;
        while (i < raw.size() && IsSpace(raw[i])) ++i;
        if (i == raw.size() || raw[i] == '#') return true;
        std::vector<std::string> w = Words(raw);
        std::string name = w[0];
        std::string key = AsciiLower(name);
        if (key[0] == '<') return Section(w, key);
        std::vector<std::string> args(w.begin() + 1, w.end());

        if (feed_) return FeedDirective(name, key, args);
        if (stream_) return StreamDirective(name, key, args);
        return GlobalDirective(name, key, args);
    }

    bool Section(const std::vector<std::string>& w, const std::string& key) {
        if (key == "</feed>" || key == "</stream>") {
            bool isFeed = key == "</feed>";
            if (w.size() != 1) return Fail("unexpected text after " + w[0]);
            if (isFeed ? !feed_ : !stream_) return Fail(w[0] + " without its opening section");
            if (isFeed) {
                config_.feeds.push_back(std::move(feedCfg_));
                feed_ = false;
            } else {
                if (streamCfg_.feed.empty()) return Fail(sectionLine_, "stream " + streamCfg_.name + " has no Feed");
                config_.streams.push_back(std::move(streamCfg_));
                feedLines_.push_back(streamFeedLine_);
                stream_ = false;
            }
            return true;
        }
        bool isFeed = key == "<feed";
        if (!isFeed && key != "<stream") {
            // Also "<Feed" joined with its name without a space is not accepted: keep it simple.
            return Fail("unknown section " + w[0]);
        }
        if (feed_ || stream_) return Fail("sections cannot be nested");
        if (w.size() != 2 || w[1].size() < 2 || w[1].back() != '>') return Fail("expected " + w[0] + " name>");
        std::string name = w[1].substr(0, w[1].size() - 1);
        for (char c : name)
            if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '_' || c == '-'))
                return Fail("bad name " + name);
        if (config_.FindFeed(name) || config_.FindStream(name)) return Fail("name " + name + " is already used");
        sectionLine_ = lineNo_;
        if (isFeed) {
            feed_ = true;
            feedCfg_ = FeedConfig();
            feedCfg_.name = name;
        } else {
            stream_ = true;
            streamCfg_ = StreamConfig();
            streamCfg_.name = name;
        }
        return true;
    }

    bool NeedArgs(const std::string& name, const std::vector<std::string>& a, size_t lo, size_t hi) {
        if (a.size() < lo || a.size() > hi) {
            if (lo == hi && lo == 0) return Fail(name + " takes no value");
            return Fail(a.size() < lo ? "missing value for " + name : "too many values for " + name);
        }
        return true;
    }

    bool GlobalDirective(const std::string& name, const std::string& key, const std::vector<std::string>& a) {
        if (key == "port" || key == "httpport") {
            return NeedArgs(name, a, 1, 1) &&
                   (ParseIntField(a[0], kPortRange.min, kPortRange.max, config_.port) || BadValue(name));
        }
        if (key == "bindaddress" || key == "httpbindaddress") {
            return NeedArgs(name, a, 1, 1) && (ParseIpv4(a[0], config_.bindAddress) || BadValue(name));
        }
        if (key == "maxhttpconnections") {
            return NeedArgs(name, a, 1, 1) &&
                   (ParseIntField(a[0], 1, 1000000, config_.maxHttpConnections) || BadValue(name)) &&
                   Note(maxHttpLine_);
        }
        if (key == "maxclients") {
            return NeedArgs(name, a, 1, 1) && (ParseIntField(a[0], 1, 1000000, config_.maxClients) || BadValue(name)) &&
                   Note(maxClientsLine_);
        }
        if (key == "maxbandwidth") {
            return NeedArgs(name, a, 1, 1) &&
                   (ParseInt(a[0], 1, 1000000000, config_.maxBandwidthKbps) || BadValue(name));
        }
        if (key == "customlog") {
            if (!NeedArgs(name, a, 1, 1)) return false;
            config_.customLog = a[0];
            return true;
        }
        if (key == "nodaemon" || key == "daemon") return NeedArgs(name, a, 0, 0);
        if (key == "acl" || key == "file" || key == "filemaxsize" || key == "format" || key == "feed" ||
            key.compare(0, 5, "video") == 0 || key == "noaudio")
            return Fail(name + " is only allowed inside a section");
        return Fail("unknown directive " + name);
    }

    bool Note(int& line) {
        line = lineNo_;
        return true;
    }

    bool Acl(const std::string& name, const std::vector<std::string>& a, std::vector<AclRule>& rules) {
        if (!NeedArgs(name, a, 2, 3)) return false;
        AclRule rule;
        std::string action = AsciiLower(a[0]);
        if (action == "allow") rule.allow = true;
        else if (action == "deny") rule.allow = false;
        else return Fail("ACL must be allow or deny, not " + a[0]);
        if (!ParseIpv4(a[1], rule.first)) return BadValue(name);
        rule.last = rule.first;
        if (a.size() == 3 && (!ParseIpv4(a[2], rule.last) || rule.last < rule.first)) return BadValue(name);
        rules.push_back(rule);
        return true;
    }

    bool FeedDirective(const std::string& name, const std::string& key, const std::vector<std::string>& a) {
        // "mem:..." or a path: the feed is kept in memory either way.
        if (key == "file") return NeedArgs(name, a, 1, 1);
        if (key == "filemaxsize") {
            return NeedArgs(name, a, 1, 1) && (ParseByteSize(a[0], feedCfg_.maxSize) || BadValue(name));
        }
        if (key == "acl") return Acl(name, a, feedCfg_.acl);
        if (key == "readonlyfile" || key == "truncate")
            return Fail(name + " is not supported: the feed is kept in memory");
        return Fail("unknown directive " + name + " in <Feed>");
    }

    bool StreamDirective(const std::string& name, const std::string& key, const std::vector<std::string>& a) {
        StreamConfig& s = streamCfg_;
        if (key == "format") {
            if (!NeedArgs(name, a, 1, 1)) return false;
            if (AsciiLower(a[0]) != "swf") return Fail("unsupported format " + a[0] + " (only swf)");
            return true;
        }
        if (key == "feed") {
            if (!NeedArgs(name, a, 1, 1)) return false;
            s.feed = a[0];
            streamFeedLine_ = lineNo_;
            return true;
        }
        if (key == "noaudio") return NeedArgs(name, a, 0, 0);
        if (key == "videoframerate") return NeedArgs(name, a, 1, 1) && (ParseRate(a[0], s.frameRate) || BadValue(name));
        if (key == "videosize")
            return NeedArgs(name, a, 1, 1) && (ParseVideoSize(a[0], s.width, s.height) || BadValue(name));
        if (key == "videobitrate")
            return NeedArgs(name, a, 1, 1) &&
                   (ParseIntField(a[0], kBitRateRange.min, kBitRateRange.max, s.bitRate) || BadValue(name));
        if (key == "videobitratetolerance")
            return NeedArgs(name, a, 1, 1) &&
                   (ParseIntField(a[0], 0, 2147483647, s.bitRateTolerance) || BadValue(name));
        if (key == "acl") return Acl(name, a, s.acl);
        return Fail("unknown directive " + name + " in <Stream>");
    }

    bool Check() {
        for (size_t i = 0; i < config_.streams.size(); ++i)
            if (!config_.FindFeed(config_.streams[i].feed))
                return Fail(feedLines_[i],
                            "stream " + config_.streams[i].name + " names a missing feed " + config_.streams[i].feed);
        if (config_.maxClients > config_.maxHttpConnections)
            return Fail(maxClientsLine_ ? maxClientsLine_ : maxHttpLine_,
                        "MaxClients " + std::to_string(config_.maxClients) + " is above MaxHTTPConnections " +
                            std::to_string(config_.maxHttpConnections));
        return true;
    }

    std::string fileName_;
    ServerConfig& config_;
    int lineNo_ = 0;
    bool feed_ = false, stream_ = false;
    int sectionLine_ = 0, streamFeedLine_ = 0, maxHttpLine_ = 0, maxClientsLine_ = 0;
    std::vector<int> feedLines_;
    FeedConfig feedCfg_;
    StreamConfig streamCfg_;
};

}  // namespace

const FeedConfig* ServerConfig::FindFeed(const std::string& name) const {
    for (const FeedConfig& f : feeds)
        if (f.name == name) return &f;
    return nullptr;
}

const StreamConfig* ServerConfig::FindStream(const std::string& name) const {
    for (const StreamConfig& s : streams)
        if (s.name == name) return &s;
    return nullptr;
}

namespace {

std::string BaseName(const std::string& name) {
    size_t dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

}  // namespace

std::string MjpegName(const StreamConfig& stream) { return BaseName(stream.name) + ".mjpg"; }
std::string SnapshotName(const StreamConfig& stream) { return BaseName(stream.name) + ".jpg"; }

bool ParseServerConfig(const std::string& text, const std::string& fileName, ServerConfig& config, std::string& error,
                       int* exitCode) {
    ServerConfig parsed;
    Parser parser(fileName, parsed);
    if (!parser.Run(text)) {
        error = parser.error;
        if (exitCode) *exitCode = parser.exitCode;
        return false;
    }
    config = std::move(parsed);
    return true;
}

bool ParseVideoSize(const std::string& text, int& width, int& height) {
    if (const FrameSize* named = FindFrameSize(text)) {
        // A named size the encoder cannot encode is refused as a typed one would be.
        if (!kFrameSideRange.Holds(named->width) || !kFrameSideRange.Holds(named->height)) return false;
        width = named->width;
        height = named->height;
        return true;
    }
    std::string t = AsciiLower(text);
    size_t x = t.find('x');
    if (x == std::string::npos) return false;
    int w, h;
    std::string ws = t.substr(0, x), hs = t.substr(x + 1);
    if (ws.empty() || hs.empty() || ws[0] == '-' || ws[0] == '+' || hs[0] == '-' || hs[0] == '+') return false;
    if (!ParseIntField(ws, kFrameSideRange.min, kFrameSideRange.max, w) ||
        !ParseIntField(hs, kFrameSideRange.min, kFrameSideRange.max, h))
        return false;
    width = w;
    height = h;
    return true;
}

bool ParseByteSize(const std::string& text, uint64_t& bytes) {
    if (text.empty()) return false;
    uint64_t unit = 1;
    std::string digits = text;
    switch (text.back()) {
    case 'k':
    case 'K': unit = 1ull << 10; break;
    case 'm':
    case 'M': unit = 1ull << 20; break;
    case 'g':
    case 'G': unit = 1ull << 30; break;
    default: break;
    }
    if (unit != 1) digits.pop_back();
    int64_t n;
    if (digits.empty() || digits[0] == '-' || digits[0] == '+' ||
        !ParseInt(digits, 1, static_cast<int64_t>(kMaxFeedBytes), n))
        return false;
    uint64_t v = static_cast<uint64_t>(n) * unit;
    if (v > kMaxFeedBytes) return false;
    bytes = v;
    return true;
}
