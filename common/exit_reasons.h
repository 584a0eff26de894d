// Why a streaming program ended: its exit code. Each program ends with one of these,
// and the panel turns the code into words for the user (ui/stop_reasons.cpp), so a
// code, once given a meaning, keeps it. Codes outside this list (a crash, a program
// ended from outside) are told as such.
#pragma once
#include <cstddef>

// server.dll
namespace server_exit {
constexpr int kStopped = 0;         // asked to stop
constexpr int kCommandLine = 1;     // options it does not know
constexpr int kConfigMissing = 10;  // the configuration file cannot be read
constexpr int kConfigInvalid = 11;  // the file is not a configuration it can use
constexpr int kPortInUse = 12;      // another program listens on the port
constexpr int kPortForbidden = 13;  // the system does not let it use the port
constexpr int kCannotListen = 14;   // any other failure to listen
constexpr int kLogFile = 15;        // the access log it names cannot be opened
// A bad value: this plus the index of its directive in kValueDirectives.
constexpr int kBadValueBase = 100;
}  // namespace server_exit

// The directives whose bad value the server's exit code names.
constexpr const char* kValueDirectives[] = {
    "Port",      "BindAddress",    "MaxHTTPConnections", "MaxClients",   "MaxBandwidth",
    "CustomLog", "File",           "FileMaxSize",        "ACL",          "Format",
    "Feed",      "VideoFrameRate", "VideoSize",          "VideoBitRate", "VideoBitRateTolerance",
};
constexpr size_t kValueDirectiveCount = sizeof kValueDirectives / sizeof kValueDirectives[0];

// orvane.dll
namespace encoder_exit {
constexpr int kStopped = 0;
constexpr int kCommandLine = 1;
constexpr int kCameraFailed = 2;     // the camera failed in a way not listed below
constexpr int kFeedUnreachable = 3;  // the server could not be reached or did not take the feed
constexpr int kWatermark = 20;       // the watermark picture cannot be read
constexpr int kNoCamera = 21;        // no capture device at all
constexpr int kCameraBusy = 22;      // the device cannot be opened: in use, refused, privacy
constexpr int kCameraFormat = 23;    // only formats it cannot convert
constexpr int kNoPicture = 24;       // opened, but never delivered a picture
constexpr int kCameraGone = 25;      // delivered, then stopped: unplugged
constexpr int kDriverHung = 26;      // a driver call never returned
constexpr int kFeedLost = 27;        // the server dropped the feed and did not take it back
constexpr int kFeedTooSmall = 28;    // no frame fits the feed's size limit, even at the lowest quality
}  // namespace encoder_exit
