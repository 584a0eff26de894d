// The server's configuration, in the directive syntax the panel writes:
// "#" comments, blank lines, directive names without regard to case, and
// <Feed name> ... </Feed> and <Stream name> ... </Stream> sections.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "programs/server/acl.h"

struct FeedConfig {
    std::string name;             // served as "/" + name
    uint64_t maxSize = 5u << 20;  // FileMaxSize in bytes
    std::vector<AclRule> acl;
};

struct StreamConfig {
    std::string name;
    std::string feed;  // name of a FeedConfig
    double frameRate = 25;
    int width = 0, height = 0;  // 0: taken from the first frame
    int bitRate = 0;            // kbit/s, 0 when not set
    int bitRateTolerance = -1;  // kbit/s, -1 when not set
    std::vector<AclRule> acl;
};

struct ServerConfig {
    int port = 8090;
    Ipv4 bindAddress = 0;
    int maxHttpConnections = 2000;
    int maxClients = 5;
    int64_t maxBandwidthKbps = 1000;
    std::string customLog;  // "" none, "-" standard output, else a file
    std::vector<FeedConfig> feeds;
    std::vector<StreamConfig> streams;

    const FeedConfig* FindFeed(const std::string& name) const;
    const StreamConfig* FindStream(const std::string& name) const;
};

// Every stream "<name>.<ext>" is also served as MJPEG at "<name>.mjpg" and as
// its latest picture at "<name>.jpg" (a name without a dot just gains them).
std::string MjpegName(const StreamConfig& stream);
std::string SnapshotName(const StreamConfig& stream);

// Parses the whole file text (LF or CR LF line ends). On failure returns false
// and sets error to "<fileName>:<line>: <message>", and exitCode (when given) to the
// program's exit code for it (common/exit_reasons.h: a bad value names its directive).
bool ParseServerConfig(const std::string& text, const std::string& fileName, ServerConfig& config, std::string& error,
                       int* exitCode = nullptr);

// "640x480" or a size name such as "vga", each side within the settings' frame side
// limits; false for anything else.
bool ParseVideoSize(const std::string& text, int& width, int& height);
// A byte count with an optional K, M or G suffix (powers of 1024).
bool ParseByteSize(const std::string& text, uint64_t& bytes);
