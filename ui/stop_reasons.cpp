#include "ui/stop_reasons.h"

#include <cstdarg>
#include <cwchar>

#include "common/exit_reasons.h"

namespace {

const wchar_t kServerTitle[] = L"The stream server stopped";
const wchar_t kEncoderTitle[] = L"The camera encoder stopped";

std::wstring Format(const wchar_t* format, ...) {
    wchar_t text[kMaxStopText + 1];
    va_list args;
    va_start(args, format);
    int n = std::vswprintf(text, kMaxStopText + 1, format, args);
    va_end(args);
    return n < 0 ? std::wstring() : std::wstring(text);
}

// Another port to offer: the usual second web port, or the one after it.
int32_t OtherPort(int32_t port) { return port == 8080 ? 8081 : 8080; }

std::wstring ServerText(uint32_t code, int32_t port) {
    using namespace server_exit;
    const int other = OtherPort(port);
    switch (code) {
    case kPortInUse:
        return Format(
            L"Port %d is used by another program (another web server, IIS, or a second streaming tool). "
            L"Choose another Server Port, such as %d, and press Start Server again.",
            port, other);
    case kPortForbidden:
        return Format(
            L"Windows does not let programs use port %d (it may be reserved, for example by Hyper-V or "
            L"WSL). Choose another Server Port, such as %d, and press Start Server again.",
            port, other);
    case kCannotListen:
        return Format(
            L"The server cannot take connections on port %d. Choose another Server Port, such as %d, "
            L"and press Start Server again.",
            port, other);
    case kConfigMissing:
        return L"The server cannot read its settings file orvane.conf in the program folder. Check that the folder "
               L"can be written to, then press Start Server again.";
    case kConfigInvalid:
        return L"The server cannot use its settings file orvane.conf. Press Start Server again to write it anew.";
    case kLogFile:
        return L"The server cannot open the access log that orvane.conf names. Press Start Server again to write "
               L"the settings file anew.";
    default: break;
    }
    if (code >= kBadValueBase && code < kBadValueBase + kValueDirectiveCount) {
        std::string directive = kValueDirectives[code - kBadValueBase];
        return Format(
            L"The server cannot use the value of %ls in orvane.conf. Check the settings and press Start "
            L"Server again.",
            std::wstring(directive.begin(), directive.end()).c_str());
    }
    return std::wstring();
}

std::wstring EncoderText(uint32_t code, int32_t port) {
    using namespace encoder_exit;
    switch (code) {
    case kCameraFailed:
        return L"The camera stopped working. Check that it is plugged in and not used by another program, then "
               L"press Start Server again.";
    case kNoCamera: return L"No camera was found. Plug in a camera and press Start Server again.";
    case kCameraBusy:
        return L"The camera cannot be opened: another program may be using it (a video call), or Windows' camera "
               L"privacy setting blocks desktop apps. Close that program or allow access, then press Start Server.";
    case kCameraFormat:
        return L"The camera only offers a picture format that cannot be used. Choose YUY2, NV12, MJPG or RGB with "
               L"the Capture Format button, then press Start Server again.";
    case kNoPicture:
        return L"The camera sent no picture. Another program may be using it, or Windows' camera privacy setting "
               L"blocks desktop apps. Fix that, then press Start Server again.";
    case kCameraGone:
        return L"The camera stopped sending pictures; it may have been unplugged. Plug it in again and press Start "
               L"Server.";
    case kDriverHung:
        return L"The camera's driver stopped responding. Unplug the camera and plug it in again (or restart the "
               L"PC), then press Start Server.";
    case kFeedUnreachable:
        return Format(
            L"The camera's pictures could not be handed to the server on port %d. Press Start Server "
            L"again; if this repeats, choose another Server Port.",
            port);
    case kFeedLost:
        return Format(L"The server on port %d stopped taking the camera's pictures. Press Start Server again.", port);
    case kFeedTooSmall:
        return L"No camera picture fits the feed's size limit (FileMaxSize in orvane.conf), even at the lowest "
               L"quality. Press Start Server again to write the settings file anew.";
    case kWatermark:
        return L"The watermark picture logo.gif in the program folder cannot be read. Restart Orvane DEMO and press "
               L"Start Server again.";
    default: return std::wstring();
    }
}

}  // namespace

StopReason StopReasonFor(StreamingProgram program, uint32_t exitCode, int32_t port) {
    const bool server = program == StreamingProgram::Server;
    StopReason reason{server ? kServerTitle : kEncoderTitle,
                      server ? ServerText(exitCode, port) : EncoderText(exitCode, port)};
    // A code of no reason: a crash, a program ended from outside (Task Manager and
    // taskkill leave 1, which the panel's own command lines never cause), or a newer program.
    if (reason.text.empty()) {
        const wchar_t* format = exitCode >= 0xC0000000u ? L"The %ls ended unexpectedly (exit code 0x%08X). Press "
                                                          L"Start Server to start streaming again."
                                                        : L"The %ls ended unexpectedly (exit code %u). Press Start "
                                                          L"Server to start streaming again.";
        reason.text = Format(format, server ? L"stream server" : L"camera encoder", exitCode);
    }
    return reason;
}
