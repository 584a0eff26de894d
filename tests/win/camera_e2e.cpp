// The whole path with a camera: OrvaneDemo.exe, the real server and encoder, and the
// stand-in capture driver in the program folder, as a user with a webcam runs them.
// The viewer's streams must show the camera's pictures (its bars and moving counter)
// under the watermark; a camera unplugged mid-stream ends the encoder and the panel.
#include <windows.h>

#include <gtest/gtest.h>

#include <csetjmp>
#include <cstdio>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "tests/camera/camera_pattern.h"
#include "toolkit/files.h"
#include "toolkit/fixed_values.h"
#include "toolkit/launched_program.h"
#include "toolkit/loopback_connection.h"
#include "toolkit/message_boxes.h"
#include "toolkit/stand_in_camera.h"
#include "toolkit/wait.h"
#include "toolkit/window_text.h"

namespace {

using wintest::kPatience;
using wintest::TextOf;
using wintest::WaitUntil;

struct Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
    camera_pattern::Rgb At(int x, int y) const {
        const uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
        return {p[0], p[1], p[2]};
    }
};

struct JpegError {
    jpeg_error_mgr manager;
    jmp_buf jump;
};

bool Decode(const std::string& jpeg, Picture& picture) {
    jpeg_decompress_struct d{};
    JpegError error{};
    d.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = [](j_common_ptr c) { longjmp(reinterpret_cast<JpegError*>(c->err)->jump, 1); };
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&d);
        return false;
    }
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, reinterpret_cast<const unsigned char*>(jpeg.data()), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&d, TRUE);
    d.out_color_space = JCS_RGB;
    jpeg_start_decompress(&d);
    picture.width = static_cast<int>(d.output_width);
    picture.height = static_cast<int>(d.output_height);
    picture.rgb.assign(static_cast<size_t>(picture.width) * picture.height * 3, 0);
    while (d.output_scanline < d.output_height) {
        JSAMPROW row = &picture.rgb[static_cast<size_t>(d.output_scanline) * picture.width * 3];
        jpeg_read_scanlines(&d, &row, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    return true;
}

// The JPEG images in a response, whole ones only (from SOI to EOI).
std::vector<std::string> Jpegs(const std::string& data) {
    std::vector<std::string> found;
    for (size_t at = data.find("\xFF\xD8\xFF"); at != std::string::npos; at = data.find("\xFF\xD8\xFF", at + 1)) {
        size_t end = data.find("\xFF\xD9", at + 2);
        if (end == std::string::npos) break;
        found.push_back(data.substr(at, end + 2 - at));
        at = end;
    }
    return found;
}

// GET path from the server until enough(data) holds, the server closes, or patience ends.
template <class Enough>
std::string Fetch(int port, const char* path, Enough enough) {
    wintest::LoopbackConnection server(port);
    std::string data;
    if (server.Connect()) {
        server.Send(std::string("GET ") + path + " HTTP/1.0\r\n\r\n");
        char buf[16384];
        for (int n; !enough(data) && (n = server.Receive(buf, sizeof buf)) > 0;) data.append(buf, n);
    }
    return data;
}

// The camera's picture, under the watermark: the bars and counter read back, and the
// watermark's white text across the middle, far brighter than the bar under it.
::testing::AssertionResult CameraPicture(const std::string& jpeg, int width, int height, uint32_t& counter) {
    Picture p;
    if (!Decode(jpeg, p)) return ::testing::AssertionFailure() << "not a JPEG";
    if (p.width != width || p.height != height)
        return ::testing::AssertionFailure() << "size " << p.width << "x" << p.height;
    if (!camera_pattern::Read([&](int x, int y) { return p.At(x, y); }, p.width, p.height, counter))
        return ::testing::AssertionFailure() << "not the camera's pattern";
    int bright = 0;
    for (int y = p.height * 2 / 5; y < p.height * 3 / 5; ++y)
        for (int x = 0; x < p.width; ++x) {
            camera_pattern::Rgb c = p.At(x, y), bar = camera_pattern::kBars[x * 4 / p.width];
            bright += c.r + c.g + c.b > bar.r + bar.g + bar.b + 200;
        }
    if (bright < p.width * p.height / 500) return ::testing::AssertionFailure() << "no watermark";
    return ::testing::AssertionSuccess();
}

std::wstring BuildDir() { return wintest::ModuleDir() + L"\\..\\.."; }

// A program folder of the test's own; whatever runs from it is ended with it.
struct ProgramFolder {
    std::wstring dir = wintest::MakeTempDir(L"orvane camera e2e");
    ~ProgramFolder() {
        wintest::EndProgramsIn(dir);
        wintest::RemoveTree(dir);
    }
};

TEST(CameraEndToEnd, TheViewerShowsTheCameraUntilItIsUnplugged) {
    struct Case {
        const char* camera;
        const char* videoSize;  // in orvane.conf; none: the camera's own size
        int width, height;
    };
    const Case cases[] = {
        {"format=YUY2\nwidth=640\nheight=480\n", "", 640, 480},
        // What most webcams send at 720p, and nothing else: resized for the stream.
        {"format=MJPG\nwidth=1280\nheight=720\nset_format=refuse\n", "320x240", 320, 240},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.camera);
        ProgramFolder folder;
        const std::wstring& dir = folder.dir;
        for (const wchar_t* program :
             {L"\\app\\OrvaneDemo.exe", L"\\programs\\server\\server.dll", L"\\programs\\encoder\\orvane.dll"}) {
            std::wstring from = BuildDir() + program;
            ASSERT_TRUE(::CopyFileW(from.c_str(), (dir + from.substr(from.rfind(L'\\'))).c_str(), FALSE));
        }
        ASSERT_TRUE(wintest::StandInCamera::CopyDriverTo(dir));
        // Exclusive, as a real camera: the encoder gets it only once the panel let it go.
        wintest::StandInCamera camera(dir, std::string(c.camera) + "connect=exclusive\n");
        const int port = 30000 + static_cast<int>(::GetCurrentProcessId() % 20000);
        std::string conf = "Port " + std::to_string(port) + "\r\n";
        if (*c.videoSize) conf += std::string("VideoSize ") + c.videoSize + "\r\n";
        wintest::WriteFileBytes(dir + L"\\orvane.conf", conf);

        wintest::Launched program(dir + L"\\OrvaneDemo.exe");
        HWND panel = wintest::WaitForPanel();
        ASSERT_NE(panel, nullptr);
        EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(panel, fixed::kCameraSettingsButton)));
        EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(panel, fixed::kCaptureFormatButton)));
        HWND button = ::GetDlgItem(panel, fixed::kStartStopButton);
        ::PostMessageW(panel, WM_COMMAND, MAKEWPARAM(fixed::kStartStopButton, BN_CLICKED),
                       reinterpret_cast<LPARAM>(button));
        ASSERT_TRUE(WaitUntil([&] { return TextOf(button) == fixed::kStopCaption; }));

        // The snapshot, once the first picture has reached the server.
        std::string snapshot;
        ASSERT_TRUE(WaitUntil([&] {
            std::vector<std::string> found = Jpegs(Fetch(port, "/demo.jpg", [](const std::string&) { return false; }));
            return !found.empty() && !(snapshot = found[0]).empty();
        })) << "no snapshot";
        uint32_t counter = 0, later = 0;
        EXPECT_TRUE(CameraPicture(snapshot, c.width, c.height, counter));
        // The MJPEG stream that the viewer page shows, and the SWF stream: the counter moves.
        std::vector<std::string> mjpeg = Jpegs(
            Fetch(port, "/demo.mjpg", [](const std::string& d) { return Jpegs(d).size() >= 3; }));
        ASSERT_GE(mjpeg.size(), 3u);
        EXPECT_TRUE(CameraPicture(mjpeg.front(), c.width, c.height, counter));
        EXPECT_TRUE(CameraPicture(mjpeg.back(), c.width, c.height, later));
        EXPECT_NE(counter, later);
        // The MJPEG viewer's place is free again once the server has seen it go (a closed
        // socket shows on the next writes): until then the one place answers 503.
        std::vector<std::string> swf;
        WaitUntil([&] {
            swf = Jpegs(Fetch(port, "/demo.swf", [](const std::string& d) { return !Jpegs(d).empty(); }));
            return !swf.empty();
        });
        ASSERT_FALSE(swf.empty());
        EXPECT_TRUE(CameraPicture(swf.front(), c.width, c.height, counter));
        std::string page = Fetch(port, "/",
                                 [](const std::string& d) { return d.find("</html>") != std::string::npos; });
        EXPECT_NE(page.find("demo.mjpg"), std::string::npos);

        // The panel let the camera go before the encoder took it, which it did at once.
        HANDLE encoder = wintest::OpenProgramIn(dir, L"orvane.dll");
        ASSERT_NE(encoder, nullptr);
        std::vector<std::string> panelEvents = camera.Events(program.pid());
        std::vector<std::string> encoderEvents = camera.Events(::GetProcessId(encoder));
        ASSERT_FALSE(panelEvents.empty());
        EXPECT_EQ(panelEvents.back(), "disconnect");
        ASSERT_FALSE(encoderEvents.empty());
        EXPECT_EQ(encoderEvents.front().rfind("connect ", 0), 0u) << encoderEvents.front();

        // Unplugged: the encoder ends with a failure, the panel is stopped at its next
        // ticks and finds no camera to connect.
        camera.Unplug();
        EXPECT_EQ(::WaitForSingleObject(encoder, kPatience), WAIT_OBJECT_0);
        DWORD code = 0;
        ::GetExitCodeProcess(encoder, &code);
        EXPECT_NE(code, 0u);
        ::CloseHandle(encoder);
        EXPECT_TRUE(WaitUntil([&] { return TextOf(button) == fixed::kStartCaption; }));
        EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(panel, fixed::kCameraSettingsButton)));
        panelEvents = camera.Events(program.pid());
        ASSERT_FALSE(panelEvents.empty());
        EXPECT_EQ(panelEvents.back(), "connect refused: unplugged");

        // Exit, confirming if the server has not been reaped yet.
        ::PostMessageW(panel, WM_COMMAND, MAKEWPARAM(fixed::kExitCommand, 0), 0);
        EXPECT_TRUE(WaitUntil([&] {
            for (HWND box : wintest::MessageBoxes(wintest::BoxScope::Process(program.pid())))
                ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            return program.WaitExit(0) != STILL_ACTIVE;
        }));
    }
}

}  // namespace
