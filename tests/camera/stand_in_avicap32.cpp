// A stand-in avicap32.dll for the tests: a Video for Windows capture window with a
// scripted camera behind it, answering the WM_CAP_* messages as a Windows capture driver
// does. Wine loads it instead of its own (whose capture class does not register) when it
// lies beside the program and WINEDLLOVERRIDES holds avicap32=n,b.
//
// ORVANE_CAMERA names the script, a file of key=value lines read at every connect:
//   format=YUY2|UYVY|NV12|I420|RGB24|RGB32|MJPG   width=640   height=480
//   set_format=accept|refuse|ignore   (refuse: only the camera's own format is taken)
//   dialogs=source,format,display|none   overlay=0|1
//   connect=ok|refuse|exclusive|absent   (absent: no driver at all)
//   fail_after=N   failure=grab|no_callback|hang|unplug   hang_ms=T
//   truncate_every=N   (MJPG: every Nth frame is cut short)
//   frames=PATH   (recorded frames served in a cycle instead of the pattern, read once at
//                 the first grab, so that serving them costs the encoder only a copy: for
//                 MJPG JPEG files one after the other, otherwise raw frames of the format's size)
//   rate=N   (the camera makes N frames a second on its own clock, and a grab waits for
//            the next one, as a real camera's does; 0, the default: a grab delivers at once)
//   stamp=1  (the pattern's bottom quarter holds the time the frame was delivered instead
//            of the counter: the wall clock, which Wine and Linux share, in tenths of a
//            millisecond since 1970, its low 32 bits; camera_pattern::StampedAt)
// Without ORVANE_CAMERA there is no camera. One line per connect, disconnect, dialog and
// refusal goes to "<script>.log", with the process id. "<script>.unplugged" marks the
// camera unplugged for every process: failure=unplug writes it, and a test may write it
// to pull the plug at the next grab.
#include <windows.h>
#include <vfw.h>

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <optional>
#include <vector>

#include <jpeglib.h>

#include "tests/camera/camera_pattern.h"

namespace {

HINSTANCE g_instance;
const wchar_t kClassName[] = L"OrvaneStandInCapture";

struct Script {
    std::wstring path;  // empty: no camera
    std::string format = "YUY2";
    int width = 640, height = 480;
    std::string setFormat = "accept", connect = "ok", failure;
    bool sourceDialog = true, formatDialog = true, displayDialog = false, overlay = false;
    long failAfter = -1, hangMs = 0, truncateEvery = 0, rate = 0;
    bool stamp = false;
    std::string frames;
    std::vector<std::string> unknown;
};

std::wstring Env(const wchar_t* name) {
    wchar_t buffer[1024];
    DWORD n = GetEnvironmentVariableW(name, buffer, 1024);
    return n > 0 && n < 1024 ? std::wstring(buffer, n) : std::wstring();
}

Script ReadScript() {
    Script s;
    s.path = Env(L"ORVANE_CAMERA");
    if (s.path.empty()) return s;
    FILE* f = _wfopen(s.path.c_str(), L"r");
    if (!f) return s;
    char line[256];
    while (fgets(line, sizeof line, f)) {
        std::string text(line);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
        size_t eq = text.find('=');
        if (text.empty() || text[0] == '#' || eq == std::string::npos) continue;
        std::string key = text.substr(0, eq), value = text.substr(eq + 1);
        long number = std::atol(value.c_str());
        if (key == "format") s.format = value;
        else if (key == "width") s.width = number;
        else if (key == "height") s.height = number;
        else if (key == "set_format") s.setFormat = value;
        else if (key == "connect") s.connect = value;
        else if (key == "failure") s.failure = value;
        else if (key == "fail_after") s.failAfter = number;
        else if (key == "hang_ms") s.hangMs = number;
        else if (key == "truncate_every") s.truncateEvery = number;
        else if (key == "overlay") s.overlay = number != 0;
        else if (key == "frames") s.frames = value;
        else if (key == "rate") s.rate = number;
        else if (key == "stamp") s.stamp = number != 0;
        else if (key == "dialogs") {
            s.sourceDialog = value.find("source") != std::string::npos;
            s.formatDialog = value.find("format") != std::string::npos;
            s.displayDialog = value.find("display") != std::string::npos;
        } else s.unknown.push_back(key);
    }
    fclose(f);
    // Even sizes from 16 to 4096, as cameras have: the YUV layouts need pairs of pixels.
    for (int* side : {&s.width, &s.height}) *side = *side < 16 ? 16 : *side > 4096 ? 4096 : *side & ~1;
    return s;
}

void Log(const Script& script, const char* format, ...) {
    if (script.path.empty()) return;
    char text[512];
    int n = std::snprintf(text, sizeof text, "%lu ", GetCurrentProcessId());
    va_list args;
    va_start(args, format);
    n += std::vsnprintf(text + n, sizeof text - n, format, args);
    va_end(args);
    if (n > static_cast<int>(sizeof text) - 2) n = sizeof text - 2;
    text[n++] = '\n';
    // Appending is atomic per write, so lines of several processes do not mix.
    HANDLE file = CreateFileW((script.path + L".log").c_str(), FILE_APPEND_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written;
    WriteFile(file, text, n, &written, nullptr);
    CloseHandle(file);
}

bool Unplugged(const Script& s) {
    return GetFileAttributesW((s.path + L".unplugged").c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Exclusive use across processes: a named mutex, which the system releases when the
// holder dies, as a camera is released with its process. A mutex may be taken again by
// the thread that holds it, so the names held in this process are kept too.
std::mutex g_heldLock;
std::set<std::wstring> g_held;

std::wstring MutexName(const std::wstring& path) {
    unsigned long long hash = 1469598103934665603ull;
    for (wchar_t c : path) hash = (hash ^ static_cast<unsigned>(towlower(c))) * 1099511628211ull;
    wchar_t name[64];
    std::swprintf(name, 64, L"OrvaneStandInCamera.%016llx", hash);
    return name;
}

uint32_t FourCC(const std::string& f) { return f.size() == 4 ? MAKEFOURCC(f[0], f[1], f[2], f[3]) : 0; }

BITMAPINFOHEADER Header(const std::string& format, int w, int h) {
    BITMAPINFOHEADER b{};
    b.biSize = sizeof b;
    b.biWidth = w;
    b.biHeight = h;  // RGB rows bottom-up, as drivers deliver them
    b.biPlanes = 1;
    if (format == "RGB24" || format == "RGB32") {
        b.biBitCount = format == "RGB24" ? 24 : 32;
        b.biSizeImage = ((w * b.biBitCount / 8 + 3) & ~3) * h;
    } else {
        b.biCompression = FourCC(format);
        b.biBitCount = format == "NV12" || format == "I420" ? 12 : format == "MJPG" ? 24 : 16;
        b.biSizeImage = w * h * b.biBitCount / 8;
    }
    return b;
}

std::string Describe(const BITMAPINFOHEADER& b) {
    if (b.biCompression == BI_RGB) return "RGB" + std::to_string(b.biBitCount);
    char f[5] = {};
    std::memcpy(f, &b.biCompression, 4);
    return f;
}

bool Producible(const BITMAPINFOHEADER& b) {
    for (const char* f : {"YUY2", "UYVY", "NV12", "I420", "RGB24", "RGB32", "MJPG"}) {
        BITMAPINFOHEADER ours = Header(f, 2, 2);
        if (ours.biCompression == b.biCompression && ours.biBitCount == b.biBitCount)
            return b.biWidth >= 16 && b.biWidth <= 4096 && b.biWidth % 2 == 0 && b.biHeight >= 16 &&
                   b.biHeight <= 4096 && b.biHeight % 2 == 0;
    }
    return false;
}

// BT.601 studio range, as cameras deliver YUV.
void ToYuv(camera_pattern::Rgb c, uint8_t& y, uint8_t& u, uint8_t& v) {
    y = static_cast<uint8_t>((66 * c.r + 129 * c.g + 25 * c.b + 128) / 256 + 16);
    u = static_cast<uint8_t>((-38 * c.r - 74 * c.g + 112 * c.b + 128) / 256 + 128);
    v = static_cast<uint8_t>((112 * c.r - 94 * c.g - 18 * c.b + 128) / 256 + 128);
}

// A JPEG as a webcam sends it: 4:2:2, standard Huffman tables left out of the file.
std::vector<uint8_t> Jpeg(const std::vector<uint8_t>& rgb, int w, int h) {
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = w;
    c.image_height = h;
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 85, TRUE);
    c.comp_info[0].h_samp_factor = 2;
    c.comp_info[0].v_samp_factor = 1;
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(&rgb[static_cast<size_t>(c.next_scanline) * w * 3]);
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::vector<uint8_t> jpeg;
    size_t i = 2;
    jpeg.insert(jpeg.end(), out, out + 2);  // SOI
    while (i + 4 <= size && out[i] == 0xFF && out[i + 1] != 0xDA) {
        size_t length = 2 + (out[i + 2] << 8 | out[i + 3]);
        if (out[i + 1] != 0xC4) jpeg.insert(jpeg.end(), out + i, out + i + length);  // all but DHT
        i += length;
    }
    jpeg.insert(jpeg.end(), out + i, out + size);
    free(out);
    return jpeg;
}

class Camera {
public:
    explicit Camera(HWND window) : window_(window) {}
    ~Camera() { Disconnect(); }

    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);

private:
    bool Connect(WPARAM index);
    bool Disconnect();
    bool Grab();
    void WaitForNextFrame();
    void Convert(const std::vector<uint8_t>& rgb, int fromRow, size_t& used);
    void Deliver(size_t used);
    bool Dialog(const wchar_t* caption, const char* name);
    void Release();

    HWND window_;
    Script script_;
    bool connected_ = false;
    HANDLE exclusive_ = nullptr;
    std::wstring heldName_;
    BITMAPINFOHEADER format_{};
    std::string formatName_;
    CAPVIDEOCALLBACK callback_ = nullptr;
    LPARAM userData_ = 0;
    uint32_t frames_ = 0;
    DWORD connectedAt_ = 0;
    LARGE_INTEGER connectedTicks_{};
    long long lastSlot_ = -1;
    std::optional<ULONGLONG> unpluggedCheckedAt_;
    bool unplugged_ = false;
    std::vector<uint8_t> buffer_;
    VIDEOHDR header_{};
    std::vector<std::vector<uint8_t>> recorded_;
};

// The frames of a recording: JPEG pictures from start to end marker, or raw frames of `each` bytes.
std::vector<std::vector<uint8_t>> ReadRecording(const std::string& path, bool jpeg, size_t each) {
    std::vector<std::vector<uint8_t>> frames;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return frames;
    std::vector<uint8_t> data;
    uint8_t chunk[65536];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;) data.insert(data.end(), chunk, chunk + n);
    std::fclose(f);
    for (size_t at = 0; at < data.size();) {
        size_t end = at + each;
        if (jpeg) {
            end = at + 2;
            while (end + 1 < data.size() && !(data[end] == 0xFF && data[end + 1] == 0xD9)) ++end;
            end += 2;
        }
        if (end > data.size()) break;
        frames.emplace_back(data.begin() + at, data.begin() + end);
        at = end;
    }
    return frames;
}

bool Camera::Connect(WPARAM index) {
    if (connected_) Disconnect();  // a second connect replaces the first
    script_ = ReadScript();
    for (const std::string& key : script_.unknown) Log(script_, "script: unknown key %s", key.c_str());
    const char* refusal = nullptr;
    if (index != 0 || script_.path.empty() || script_.connect == "absent") refusal = "no camera";
    else if (Unplugged(script_)) refusal = "unplugged";
    else if (script_.connect == "refuse") refusal = "driver refused";
    else if (script_.connect == "exclusive") {
        std::wstring name = MutexName(script_.path);
        HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
        DWORD wait = mutex ? WaitForSingleObject(mutex, 0) : WAIT_FAILED;
        std::lock_guard<std::mutex> lock(g_heldLock);
        if ((wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) && g_held.insert(name).second) {
            exclusive_ = mutex;
            heldName_ = name;
        } else {
            if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) ReleaseMutex(mutex);
            if (mutex) CloseHandle(mutex);
            refusal = "in use";
        }
    }
    if (refusal) {
        Log(script_, "connect refused: %s", refusal);
        return false;
    }
    formatName_ = script_.format;
    format_ = Header(formatName_, script_.width, script_.height);
    connected_ = true;
    frames_ = 0;
    connectedAt_ = GetTickCount();
    QueryPerformanceCounter(&connectedTicks_);
    lastSlot_ = -1;
    unpluggedCheckedAt_.reset();
    Log(script_, "connect %s %dx%d", formatName_.c_str(), script_.width, script_.height);
    return true;
}

void Camera::Release() {
    if (!exclusive_) return;
    ReleaseMutex(exclusive_);
    CloseHandle(exclusive_);
    exclusive_ = nullptr;
    std::lock_guard<std::mutex> lock(g_heldLock);
    g_held.erase(heldName_);
}

bool Camera::Disconnect() {
    if (!connected_) return false;
    connected_ = false;
    Release();
    Log(script_, "disconnect");
    return true;
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) return TRUE;
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

bool Camera::Dialog(const wchar_t* caption, const char* name) {
    // A real modal dialog owned by the capture window (the system makes its top-level
    // ancestor the owner and disables it), with a caption tests can find: what the
    // camera sends, and an OK button.
    wchar_t text[128];
    std::swprintf(text, 128, L"%hs %ldx%ld, scripted by ORVANE_CAMERA", formatName_.c_str(), format_.biWidth,
                  format_.biHeight);
    alignas(4) WORD t[512] = {};
    auto* d = reinterpret_cast<DLGTEMPLATE*>(t);
    d->style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER | WS_VISIBLE;
    d->cdit = 2;
    d->cx = 180;
    d->cy = 50;
    WORD* p = t + sizeof(DLGTEMPLATE) / 2 + 2;  // no menu, default class
    p += wcslen(wcscpy(reinterpret_cast<wchar_t*>(p), caption)) + 1;
    auto item = [&p, &t](DWORD style, short y, short cx, WORD id, WORD kind, const wchar_t* title) {
        if ((p - t) & 1) ++p;  // items are DWORD aligned
        auto* i = reinterpret_cast<DLGITEMTEMPLATE*>(p);
        i->style = WS_CHILD | WS_VISIBLE | style;
        i->x = static_cast<short>((180 - cx) / 2);
        i->y = y;
        i->cx = cx;
        i->cy = 14;
        i->id = id;
        p += sizeof(DLGITEMTEMPLATE) / 2;
        *p++ = 0xFFFF;
        *p++ = kind;
        p += wcslen(wcscpy(reinterpret_cast<wchar_t*>(p), title)) + 1;
        *p++ = 0;  // no creation data
    };
    item(SS_CENTER, 8, 170, 0xFFFF, 0x0082, text);                     // static
    item(WS_TABSTOP | BS_DEFPUSHBUTTON, 28, 50, IDOK, 0x0080, L"OK");  // button
    Log(script_, "dialog %s open", name);
    DialogBoxIndirectParamW(g_instance, d, window_, DialogProc, 0);
    Log(script_, "dialog %s closed", name);
    return true;
}

// The wall clock in tenths of a millisecond since 1970: Wine reads Linux's, so a reader
// of the stream on the same machine compares it with its own.
uint32_t StampNow() {
    FILETIME t;
    GetSystemTimePreciseAsFileTime(&t);
    uint64_t since1601 = (static_cast<uint64_t>(t.dwHighDateTime) << 32 | t.dwLowDateTime) / 1000;
    return static_cast<uint32_t>(since1601 - 116444736000000ull);
}

void Camera::WaitForNextFrame() {
    if (script_.rate <= 0) return;
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    auto seconds = [&] {
        QueryPerformanceCounter(&now);
        return static_cast<double>(now.QuadPart - connectedTicks_.QuadPart) / static_cast<double>(frequency.QuadPart);
    };
    // The next frame the sensor makes: never one already delivered.
    long long slot = static_cast<long long>(std::ceil(seconds() * script_.rate));
    if (slot <= lastSlot_) slot = lastSlot_ + 1;
    lastSlot_ = slot;
    double at = static_cast<double>(slot) / script_.rate;
    // At least a millisecond each time: Sleep(0) for the last fraction would spin, and the
    // spinning would count as the encoder's CPU, which a real driver's wait does not.
    for (double left; (left = at - seconds()) > 0;) Sleep(static_cast<DWORD>(std::ceil(left * 1000)));
}

// Rows fromRow to the end of the picture, in the camera's format, into buffer_ (MJPG: all of it).
void Camera::Convert(const std::vector<uint8_t>& rgb, int fromRow, size_t& used) {
    int w = format_.biWidth, h = format_.biHeight;
    auto px = [&](int x, int y) {
        return camera_pattern::Rgb{rgb[(y * w + x) * 3], rgb[(y * w + x) * 3 + 1], rgb[(y * w + x) * 3 + 2]};
    };
    if (formatName_ == "MJPG") {
        std::vector<uint8_t> jpeg = Jpeg(rgb, w, h);
        used = jpeg.size();
        if (script_.truncateEvery > 0 && frames_ % script_.truncateEvery == 0) used /= 2;
        if (used > buffer_.size()) used = buffer_.size();
        std::memcpy(buffer_.data(), jpeg.data(), used);
    } else if (formatName_ == "RGB24" || formatName_ == "RGB32") {
        int bytes = format_.biBitCount / 8, stride = (w * bytes + 3) & ~3;
        for (int y = fromRow; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                uint8_t* d = &buffer_[static_cast<size_t>(h - 1 - y) * stride + x * bytes];  // bottom-up, BGR
                camera_pattern::Rgb c = px(x, y);
                d[0] = c.b, d[1] = c.g, d[2] = c.r;
            }
    } else if (formatName_ == "YUY2" || formatName_ == "UYVY") {
        bool yFirst = formatName_ == "YUY2";
        for (int y = fromRow; y < h; ++y)
            for (int x = 0; x < w; x += 2) {
                uint8_t y0, y1, u, v, u1, v1;
                ToYuv(px(x, y), y0, u, v);
                ToYuv(px(x + 1, y), y1, u1, v1);
                uint8_t* d = &buffer_[(static_cast<size_t>(y) * w + x) * 2];
                if (yFirst) d[0] = y0, d[1] = u, d[2] = y1, d[3] = v;
                else d[0] = u, d[1] = y0, d[2] = v, d[3] = y1;
            }
    } else {  // NV12, I420: a luma plane, then chroma at a quarter
        uint8_t* luma = buffer_.data();
        uint8_t* chroma = luma + static_cast<size_t>(w) * h;
        for (int y = fromRow & ~1; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                uint8_t u, v;
                ToYuv(px(x, y), luma[static_cast<size_t>(y) * w + x], u, v);
                if (x % 2 || y % 2) continue;
                size_t i = static_cast<size_t>(y / 2) * (w / 2) + x / 2;
                if (formatName_ == "NV12") chroma[2 * i] = u, chroma[2 * i + 1] = v;
                else chroma[i] = u, chroma[static_cast<size_t>(w / 2) * (h / 2) + i] = v;
            }
    }
}

bool Camera::Grab() {
    if (!connected_) return false;
    ++frames_;
    bool failing = script_.failAfter >= 0 && frames_ > static_cast<uint32_t>(script_.failAfter);
    if (failing && frames_ == script_.failAfter + 1u)
        Log(script_, "%s after %ld frames", script_.failure.c_str(), script_.failAfter);
    if (failing && script_.failure == "unplug") {
        CloseHandle(
            CreateFileW((script_.path + L".unplugged").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        unpluggedCheckedAt_.reset();
    }
    // The mark another process may write is looked for at most every 100 ms: a lookup per
    // frame would count as the encoder's CPU, which a real driver's frames do not cost.
    const ULONGLONG now = GetTickCount64();
    if (!unpluggedCheckedAt_ || now - *unpluggedCheckedAt_ >= 100) {
        unpluggedCheckedAt_ = now;
        unplugged_ = Unplugged(script_);
    }
    if (unplugged_) {
        Log(script_, "unplugged");
        Disconnect();
        return false;
    }
    if (failing && script_.failure == "grab") return false;
    if (failing && script_.failure == "hang") Sleep(script_.hangMs);
    if (!script_.frames.empty() && recorded_.empty())
        recorded_ = ReadRecording(script_.frames, formatName_ == "MJPG", format_.biSizeImage);
    if (!recorded_.empty()) {
        WaitForNextFrame();
        const std::vector<uint8_t>& frame = recorded_[(frames_ - 1) % recorded_.size()];
        if (buffer_.size() < frame.size()) buffer_.resize(frame.size());
        std::memcpy(buffer_.data(), frame.data(), frame.size());
        Deliver(frame.size());
        return true;
    }
    int w = format_.biWidth, h = format_.biHeight;
    std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3);
    auto paint = [&](int fromRow, auto colour) {
        for (int y = fromRow; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                camera_pattern::Rgb c = colour(x, y);
                uint8_t* d = &rgb[(static_cast<size_t>(y) * w + x) * 3];
                d[0] = c.r, d[1] = c.g, d[2] = c.b;
            }
    };
    paint(0, [&](int x, int y) { return camera_pattern::At(x, y, w, h, frames_); });
    buffer_.assign(format_.biSizeImage, 0);
    size_t used = buffer_.size();
    // The picture is made before its frame time comes, as a camera's buffer is filled
    // by then: the grab's wait is for the frame, not for our drawing. With a stamp only
    // the stamped rows (of an MJPG frame, the compression) are made after the time is
    // read, so that little of the camera's own work counts as delay.
    bool compressed = formatName_ == "MJPG";
    if (!compressed) Convert(rgb, 0, used);
    WaitForNextFrame();
    if (script_.stamp) {
        int band = (h * 3 / 4) & ~1;
        uint32_t stamp = StampNow();
        paint(band, [&](int x, int y) { return camera_pattern::StampedAt(x, y, w, h, stamp); });
        if (!compressed) Convert(rgb, band, used);
    }
    if (compressed) Convert(rgb, 0, used);
    if (failing && script_.failure == "no_callback") return true;  // a grab that delivers nothing
    Deliver(used);
    return true;
}

void Camera::Deliver(size_t used) {
    header_ = VIDEOHDR{};
    header_.lpData = buffer_.data();
    header_.dwBufferLength = static_cast<DWORD>(buffer_.size());
    header_.dwBytesUsed = static_cast<DWORD>(used);
    header_.dwTimeCaptured = GetTickCount() - connectedAt_;
    header_.dwFlags = VHDR_DONE | VHDR_KEYFRAME;
    // Windows calls the frame callback inside the grab message, on this thread.
    if (callback_) callback_(window_, &header_);
}

LRESULT Camera::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CAP_DRIVER_CONNECT: return Connect(wParam);
    case WM_CAP_DRIVER_DISCONNECT: return Disconnect();
    case WM_CAP_DRIVER_GET_CAPS: {
        if (!connected_ || !lParam) return FALSE;
        CAPDRIVERCAPS caps{};
        caps.fHasOverlay = script_.overlay;
        caps.fHasDlgVideoSource = script_.sourceDialog;
        caps.fHasDlgVideoFormat = script_.formatDialog;
        caps.fHasDlgVideoDisplay = script_.displayDialog;
        caps.fCaptureInitialized = TRUE;
        std::memcpy(reinterpret_cast<void*>(lParam), &caps, wParam < sizeof caps ? wParam : sizeof caps);
        return TRUE;
    }
    case WM_CAP_DLG_VIDEOSOURCE:
        return connected_ && script_.sourceDialog && Dialog(L"Stand-in Camera: Video Source", "source");
    case WM_CAP_DLG_VIDEOFORMAT:
        return connected_ && script_.formatDialog && Dialog(L"Stand-in Camera: Video Format", "format");
    case WM_CAP_GET_VIDEOFORMAT:
        // The size of the format; with a buffer, as much of it as fits is copied.
        if (!connected_) return 0;
        if (lParam)
            std::memcpy(reinterpret_cast<void*>(lParam), &format_, wParam < sizeof format_ ? wParam : sizeof format_);
        return sizeof format_;
    case WM_CAP_SET_VIDEOFORMAT: {
        if (!connected_ || !lParam || wParam < sizeof(BITMAPINFOHEADER)) return FALSE;
        BITMAPINFOHEADER asked = *reinterpret_cast<const BITMAPINFOHEADER*>(lParam);
        bool own = asked.biCompression == format_.biCompression && asked.biBitCount == format_.biBitCount &&
                   asked.biWidth == format_.biWidth && std::abs(asked.biHeight) == format_.biHeight;
        std::string name = Describe(asked);
        // Unsure what every driver does with its own format in "refuse" mode; this one
        // takes it, as a camera with a single mode would.
        if (script_.setFormat == "refuse" && !own) {
            Log(script_, "set format refused %s %ldx%ld", name.c_str(), asked.biWidth, asked.biHeight);
            return FALSE;
        }
        if (script_.setFormat == "ignore") return TRUE;  // says yes, keeps its own format
        if (!Producible(asked)) {
            Log(script_, "set format refused %s %ldx%ld", name.c_str(), asked.biWidth, asked.biHeight);
            return FALSE;
        }
        formatName_ = name;
        format_ = Header(formatName_, asked.biWidth, std::abs(asked.biHeight));
        Log(script_, "set format %s %ldx%ld", formatName_.c_str(), format_.biWidth, format_.biHeight);
        return TRUE;
    }
    case WM_CAP_SET_CALLBACK_FRAME: callback_ = reinterpret_cast<CAPVIDEOCALLBACK>(lParam); return TRUE;
    case WM_CAP_SET_USER_DATA: userData_ = lParam; return TRUE;
    case WM_CAP_GET_USER_DATA: return userData_;
    case WM_CAP_GRAB_FRAME:
    case WM_CAP_GRAB_FRAME_NOSTOP: return Grab();
    }
    Script logTo = script_.path.empty() ? ReadScript() : script_;
    Log(logTo, "unhandled message %u", message);
    return FALSE;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* camera = reinterpret_cast<Camera*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_NCCREATE) {
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(new Camera(window)));
    } else if (message == WM_NCDESTROY) {
        delete camera;  // disconnects: destroying the capture window releases the driver
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    } else if (camera && message >= WM_CAP_START && message <= WM_CAP_UNICODE_END) {
        return camera->Handle(message, wParam, lParam);
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) g_instance = instance;
    return TRUE;
}

__declspec(dllexport) HWND WINAPI
    capCreateCaptureWindowW(LPCWSTR name, DWORD style, int x, int y, int width, int height, HWND parent, int id) {
    static ATOM atom = [] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = WindowProc;
        wc.hInstance = g_instance;  // our own instance, unlike Wine 8's capture class
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = kClassName;
        return RegisterClassW(&wc);
    }();
    if (!atom) return nullptr;
    return CreateWindowExW(0, kClassName, name, style, x, y, width, height, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), g_instance, nullptr);
}

__declspec(dllexport) HWND WINAPI
    capCreateCaptureWindowA(LPCSTR name, DWORD style, int x, int y, int width, int height, HWND parent, int id) {
    wchar_t wide[256] = {};
    if (name) MultiByteToWideChar(CP_ACP, 0, name, -1, wide, 255);
    return capCreateCaptureWindowW(name ? wide : nullptr, style, x, y, width, height, parent, id);
}

__declspec(dllexport) BOOL WINAPI
    capGetDriverDescriptionW(UINT index, LPWSTR name, int nameSize, LPWSTR version, int versionSize) {
    Script script = ReadScript();
    if (index != 0 || script.path.empty() || script.connect == "absent") return FALSE;
    if (name && nameSize > 0) lstrcpynW(name, L"Orvane Stand-in Camera", nameSize);
    if (version && versionSize > 0) lstrcpynW(version, L"1.0", versionSize);
    return TRUE;
}

__declspec(dllexport) BOOL WINAPI
    capGetDriverDescriptionA(UINT index, LPSTR name, int nameSize, LPSTR version, int versionSize) {
    wchar_t wideName[256] = {}, wideVersion[64] = {};
    if (!capGetDriverDescriptionW(index, wideName, 256, wideVersion, 64)) return FALSE;
    if (name && nameSize > 0) WideCharToMultiByte(CP_ACP, 0, wideName, -1, name, nameSize, nullptr, nullptr);
    if (version && versionSize > 0)
        WideCharToMultiByte(CP_ACP, 0, wideVersion, -1, version, versionSize, nullptr, nullptr);
    return TRUE;
}

}  // extern "C"
