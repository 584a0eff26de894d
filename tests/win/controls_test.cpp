// The icon push button and the title banner on a real dialog.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <memory>

#include <cstdlib>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "controls/banner_static.h"
#include "controls/icon_button.h"
#include "framework/data_exchange.h"
#include "framework/dialog.h"
#include "res/resource.h"
#include "test_resource.h"
#include "toolkit/shell_recorder.h"
#include "toolkit/wait.h"

namespace {

constexpr UINT kRunScript = WM_APP + 1;

class ControlsDialog : public fw::Dialog {
public:
    ControlsDialog() : Dialog(IDD_FW_TEST, nullptr) {}
    std::function<void(ControlsDialog&)> script;
    CIconButton button;
    CBannerStatic banner;

protected:
    bool OnMessage(fw::Message& m) override {
        static const fw::MessageTable<ControlsDialog> table = {
            fw::OnMessage(kRunScript, &ControlsDialog::OnRunScript),
        };
        return table.Dispatch(*this, m);
    }
    bool OnInitDialog() override {
        bool focus = Dialog::OnInitDialog();
        ::PostMessageW(Handle(), kRunScript, 0, 0);
        return focus;
    }
    void DoDataExchange(fw::DataExchange& dx) override {
        dx.Attach(IDC_FW_BUTTON, button);
        dx.Attach(IDC_FW_STATIC, banner);
    }

private:
    void OnRunScript() {
        if (script) script(*this);
        EndDialog(IDOK);
    }
};

void RunWith(std::function<void(ControlsDialog&)> script) {
    ControlsDialog dlg;
    dlg.script = std::move(script);
    dlg.DoModal();
}

// Dispatches this thread's messages (timers, paints) until wnd's timer has fired n
// times. A paint comes before the next timer message, so every tick but the last
// has then been painted.
bool PumpTicks(HWND wnd, int n) {
    int ticks = 0;
    return wintest::WaitUntil([&] {
        MSG msg;
        while (ticks < n && ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_TIMER && msg.hwnd == wnd) ++ticks;
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        return ticks >= n;
    });
}

// Dispatches this thread's messages for ms milliseconds: only to hold a window for looking at.
void Hold(DWORD ms) {
    const ULONGLONG end = ::GetTickCount64() + ms;
    while (::GetTickCount64() < end) {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        ::Sleep(5);
    }
}

// A 32-bit top-down bitmap in a memory DC, for drawing into and reading back.
class Canvas {
public:
    Canvas(int w, int h, COLORREF background) : w(w), h(h), m_dc(::CreateCompatibleDC(nullptr)) {
        BITMAPINFO bi = {};
        bi.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        void* bits = nullptr;
        m_bitmap = ::CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
        m_bits = static_cast<const uint32_t*>(bits);
        m_old = ::SelectObject(m_dc, m_bitmap);
        RECT all = {0, 0, w, h};
        HBRUSH brush = ::CreateSolidBrush(background);
        ::FillRect(m_dc, &all, brush);
        ::DeleteObject(brush);
        ::GdiFlush();
    }
    ~Canvas() {
        ::SelectObject(m_dc, m_old);
        ::DeleteObject(m_bitmap);
        ::DeleteDC(m_dc);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    HDC dc() const { return m_dc; }
    COLORREF At(int x, int y) const {
        ::GdiFlush();
        uint32_t v = m_bits[y * w + x];
        return RGB(v >> 16 & 0xFF, v >> 8 & 0xFF, v & 0xFF);
    }
    // Columns holding a pixel other than `background` within rows [top, bottom).
    std::pair<int, int> InkColumns(COLORREF background, int top, int bottom) const {
        int first = w, last = -1;
        for (int y = top; y < bottom; ++y)
            for (int x = 0; x < w; ++x)
                if (At(x, y) != background) {
                    first = std::min(first, x);
                    last = std::max(last, x);
                }
        return {first, last};
    }
    const int w, h;

private:
    HDC m_dc;
    HBITMAP m_bitmap;
    HGDIOBJ m_old;
    const uint32_t* m_bits;
};

bool IsGreen(COLORREF c) { return GetGValue(c) > GetRValue(c) + 60 && GetGValue(c) > GetBValue(c) + 60; }
bool IsRed(COLORREF c) { return GetRValue(c) > GetGValue(c) + 60 && GetRValue(c) > GetBValue(c) + 60; }

int CountPixels(const Canvas& canvas, bool (*test)(COLORREF)) {
    int n = 0;
    for (int y = 0; y < canvas.h; ++y)
        for (int x = 0; x < canvas.w; ++x) n += test(canvas.At(x, y));
    return n;
}

// Sends the button's custom-draw notification through the dialog, as the button does.
LRESULT CustomDraw(ControlsDialog& d, DWORD stage, UINT state, HDC dc, RECT rc) {
    NMCUSTOMDRAW cd = {};
    cd.hdr = {d.button.Handle(), IDC_FW_BUTTON, static_cast<UINT>(NM_CUSTOMDRAW)};
    cd.dwDrawStage = stage;
    cd.hdc = dc;
    cd.rc = rc;
    cd.uItemState = state;
    return ::SendMessageW(d.Handle(), WM_NOTIFY, IDC_FW_BUTTON, reinterpret_cast<LPARAM>(&cd));
}

// The caption's size in the bold copy of the dialog font, measured the way Windows does.
SIZE CaptionSize(ControlsDialog& d, const wchar_t* caption) {
    LOGFONTW lf = {};
    ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(d.Handle(), WM_GETFONT, 0, 0)), sizeof lf, &lf);
    lf.lfWeight = FW_BOLD;
    HFONT bold = ::CreateFontIndirectW(&lf);
    HDC dc = ::CreateCompatibleDC(nullptr);
    HGDIOBJ old = ::SelectObject(dc, bold);
    RECT r = {0, 0, 0, 0};
    ::DrawTextW(dc, caption, -1, &r, DT_CALCRECT);
    ::SelectObject(dc, old);
    ::DeleteDC(dc);
    ::DeleteObject(bold);
    return {r.right, r.bottom};
}

const COLORREF kBackground = RGB(12, 34, 56);

TEST(IconButton, PrePaintDrawsTheLampAndTheCaptionAsACentredPair) {
    RunWith([](ControlsDialog& d) {
        d.button.SetIcons(IDI_LAMP_GREEN, 0);
        RECT rc;
        ::GetClientRect(d.button.Handle(), &rc);
        Canvas canvas(rc.right, rc.bottom, kBackground);
        EXPECT_EQ(CustomDraw(d, CDDS_PREPAINT, 0, canvas.dc(), rc), CDRF_SKIPDEFAULT);

        const SIZE text = CaptionSize(d, L"&Start Server");
        const int half = (rc.right - text.cx - 20) / 2;
        const int iconX = half - 5, iconY = (rc.bottom - 20) / 2, textX = half + 20;
        EXPECT_TRUE(IsGreen(canvas.At(iconX + 10, iconY + 13)));
        // The lamp's round edge (the icon is scaled on loading): its first column or the next.
        const int firstInk = canvas.InkColumns(kBackground, 0, rc.bottom).first;
        EXPECT_GE(firstInk, iconX);
        EXPECT_LE(firstInk, iconX + 1);
        EXPECT_EQ(canvas.InkColumns(kBackground, 0, iconY).first, rc.right) << "nothing above the lamp";
        // The caption starts 5 pixels right of the lamp and ends within its measured
        // width, which does not count the ampersand: a drawn "&" would end further right.
        auto caption = canvas.InkColumns(kBackground, iconY, iconY + 20);
        int captionFirst = rc.right;
        for (int x = iconX + 21; x < rc.right && captionFirst == rc.right; ++x)
            for (int y = 0; y < rc.bottom; ++y)
                if (canvas.At(x, y) != kBackground) {
                    captionFirst = x;
                    break;
                }
        EXPECT_GE(captionFirst, textX);
        EXPECT_LE(captionFirst, textX + 2);
        EXPECT_LE(caption.second, textX + text.cx);
        EXPECT_GE(caption.second, textX + text.cx - 6);
    });
}

TEST(IconButton, OtherStagesDrawNothingAndAnswerZero) {
    RunWith([](ControlsDialog& d) {
        d.button.SetIcons(IDI_LAMP_GREEN, 0);
        RECT rc;
        ::GetClientRect(d.button.Handle(), &rc);
        for (DWORD stage : {DWORD(CDDS_POSTPAINT), DWORD(CDDS_PREERASE), DWORD(CDDS_ITEMPREPAINT)}) {
            Canvas canvas(rc.right, rc.bottom, kBackground);
            EXPECT_EQ(CustomDraw(d, stage, 0, canvas.dc(), rc), 0) << stage;
            EXPECT_EQ(canvas.InkColumns(kBackground, 0, rc.bottom).first, rc.right) << stage;
        }
    });
}

TEST(IconButton, DisabledWithoutDisabledIconCentresAGreyCaptionOverTheWholeWidth) {
    RunWith([](ControlsDialog& d) {
        d.button.SetIcons(IDI_LAMP_GREEN, 0);
        RECT rc;
        ::GetClientRect(d.button.Handle(), &rc);
        Canvas canvas(rc.right, rc.bottom, kBackground);
        EXPECT_EQ(CustomDraw(d, CDDS_PREPAINT, CDIS_DISABLED, canvas.dc(), rc), CDRF_SKIPDEFAULT);
        EXPECT_EQ(CountPixels(canvas, IsGreen), 0);
        const SIZE text = CaptionSize(d, L"&Start Server");
        auto ink = canvas.InkColumns(kBackground, 0, rc.bottom);
        const int left = (rc.right - text.cx) / 2;
        EXPECT_GE(ink.first, left);
        EXPECT_LE(ink.first, left + 3);
        EXPECT_LE(ink.second, left + text.cx + 1);  // the embossed copy lies one pixel right
        EXPECT_GE(ink.second, left + text.cx - 6);
    });
}

TEST(IconButton, SetIconsWithZeroKeepsTheEarlierDisabledIcon) {
    RunWith([](ControlsDialog& d) {
        RECT rc;
        ::GetClientRect(d.button.Handle(), &rc);
        d.button.SetIcons(IDI_LAMP_RED, IDI_LAMP_GREEN);
        d.button.SetIcons(IDI_LAMP_RED, 0);
        Canvas disabled(rc.right, rc.bottom, kBackground), enabled(rc.right, rc.bottom, kBackground);
        CustomDraw(d, CDDS_PREPAINT, CDIS_DISABLED, disabled.dc(), rc);
        CustomDraw(d, CDDS_PREPAINT, 0, enabled.dc(), rc);
        EXPECT_GT(CountPixels(disabled, IsGreen), 100);
        EXPECT_EQ(CountPixels(disabled, IsRed), 0);
        EXPECT_GT(CountPixels(enabled, IsRed), 100);
        EXPECT_EQ(CountPixels(enabled, IsGreen), 0);
    });
}

// What the window shows on the screen (Xvfb), read back through its DC.
std::unique_ptr<Canvas> Capture(HWND wnd) {
    RECT rc;
    ::GetClientRect(wnd, &rc);
    auto canvas = std::make_unique<Canvas>(rc.right, rc.bottom, RGB(0, 0, 0));
    HDC dc = ::GetDC(wnd);
    ::BitBlt(canvas->dc(), 0, 0, rc.right, rc.bottom, dc, 0, 0, SRCCOPY);
    ::ReleaseDC(wnd, dc);
    return canvas;
}

TEST(IconButton, TheThemedButtonShowsTheLampOnScreen) {
    RunWith([](ControlsDialog& d) {
        d.button.SetIcons(IDI_LAMP_GREEN, 0);  // repaints before it returns
        EXPECT_GT(CountPixels(*Capture(d.button.Handle()), IsGreen), 100);
        d.button.SetIcons(IDI_LAMP_RED, 0);
        auto shown = Capture(d.button.Handle());
        EXPECT_GT(CountPixels(*shown, IsRed), 100);
        EXPECT_EQ(CountPixels(*shown, IsGreen), 0);
    });
}

TEST(BannerStatic, AttachSetsUpNotifyFontAndTheAnimationThatStopsWhenHidden) {
    RunWith([](ControlsDialog& d) {
        HWND banner = d.banner.Handle();
        EXPECT_TRUE(::GetWindowLongW(banner, GWL_STYLE) & SS_NOTIFY);
        EXPECT_EQ(::SendMessageW(banner, WM_GETFONT, 0, 0), ::SendMessageW(d.Handle(), WM_GETFONT, 0, 0));

        ASSERT_TRUE(PumpTicks(banner, 2));
        controls::ColorTriple head = d.banner.Colors().Entry(0);
        ASSERT_TRUE(PumpTicks(banner, 10));  // each tick one paint and one step
        controls::ColorTriple later = d.banner.Colors().Entry(0);
        EXPECT_TRUE(head.red != later.red || head.green != later.green || head.blue != later.blue);

        // The title is drawn letter by letter in graded colours over black.
        auto shown = Capture(banner);
        std::set<COLORREF> titleColours;
        for (int y = 4; y < 30; ++y)
            for (int x = 0; x < shown->w; ++x) titleColours.insert(shown->At(x, y));
        EXPECT_EQ(shown->At(1, shown->h / 2 + 30), RGB(0, 0, 0));
        EXPECT_GT(titleColours.size(), 6u);

        // To look at both controls: ORVANE_HOLD_MS=5000, and a screenshot meanwhile.
        if (const char* hold = std::getenv("ORVANE_HOLD_MS")) {
            d.button.SetIcons(IDI_LAMP_GREEN, 0);
            Hold(static_cast<DWORD>(std::atoi(hold)));
        }

        ::ShowWindow(d.Handle(), SW_HIDE);
        ASSERT_TRUE(PumpTicks(banner, 2));  // a paint still due is done
        head = d.banner.Colors().Entry(0);
        ASSERT_TRUE(PumpTicks(banner, 10));
        later = d.banner.Colors().Entry(0);
        EXPECT_TRUE(head.red == later.red && head.green == later.green && head.blue == later.blue);
    });
}

LRESULT MoveTo(HWND wnd, int x, int y) { return ::SendMessageW(wnd, WM_MOUSEMOVE, 0, MAKELPARAM(x, y)); }

TEST(BannerStatic, HoverTakesAndReleasesTheCaptureAndSwitchesTheLinkColour) {
    RunWith([](ControlsDialog& d) {
        HWND banner = d.banner.Handle();
        RECT rc;
        ::GetClientRect(banner, &rc);
        const int x = rc.right / 2;
        auto stripColours = [&] {
            ::InvalidateRect(banner, nullptr, FALSE);
            ::UpdateWindow(banner);
            auto shown = Capture(banner);
            std::set<COLORREF> colours;
            for (int y = rc.bottom - 20; y < rc.bottom - 5; ++y)
                for (int i = 0; i < shown->w; ++i) colours.insert(shown->At(i, y));
            return colours;
        };
        const COLORREF white = RGB(255, 255, 255), idle = RGB(200, 224, 224);

        MoveTo(banner, x, rc.bottom - 21);
        EXPECT_FALSE(d.banner.IsHovering());
        EXPECT_NE(::GetCapture(), banner);
        auto colours = stripColours();
        EXPECT_TRUE(colours.count(idle));
        EXPECT_FALSE(colours.count(white));

        MoveTo(banner, x, rc.bottom - 20);
        EXPECT_TRUE(d.banner.IsHovering());
        EXPECT_EQ(::GetCapture(), banner);
        EXPECT_EQ(::GetCursor(), ::LoadCursorW(nullptr, IDC_HAND));
        colours = stripColours();
        EXPECT_TRUE(colours.count(white));
        EXPECT_FALSE(colours.count(idle));

        MoveTo(banner, x, rc.bottom - 6);
        EXPECT_TRUE(d.banner.IsHovering());
        MoveTo(banner, x, rc.bottom - 5);
        EXPECT_FALSE(d.banner.IsHovering());
        EXPECT_EQ(::GetCapture(), nullptr);

        // Leaving the window altogether: the capture brings the move, which releases it.
        MoveTo(banner, 3, rc.bottom - 10);
        EXPECT_EQ(::GetCapture(), banner);
        MoveTo(banner, -40, rc.bottom + 30);
        EXPECT_FALSE(d.banner.IsHovering());
        EXPECT_EQ(::GetCapture(), nullptr);
        EXPECT_TRUE(stripColours().count(idle));
    });
}

TEST(BannerStatic, DoubleClickGivesOnlyTheHeadANewColour) {
    RunWith([](ControlsDialog& d) {
        ::ShowWindow(d.Handle(), SW_HIDE);  // no paints, so no steps, in between
        ASSERT_TRUE(PumpTicks(d.banner.Handle(), 2));
        const controls::ColorWalk& colors = d.banner.Colors();
        std::vector<controls::ColorTriple> before;
        for (int i = 0; i < 10; ++i) before.push_back(colors.Entry(i));
        const auto steps = controls::ColorWalk::ColorStep();
        ::SendMessageW(d.banner.Handle(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(5, 5));
        const controls::ColorTriple head = colors.Entry(0);
        EXPECT_TRUE(head.red >= 0 && head.red < 256 && head.green >= 0 && head.green < 256 && head.blue >= 0 &&
                    head.blue < 256);
        EXPECT_TRUE(head.red != before[0].red || head.green != before[0].green || head.blue != before[0].blue);
        for (int i = 1; i < 10; ++i) EXPECT_EQ(controls::ColorRefOf(colors.Entry(i)), controls::ColorRefOf(before[i]));
        EXPECT_EQ(controls::ColorWalk::ColorStep(), steps);
    });
}

void Click(HWND wnd, int x, int y) {
    ::SendMessageW(wnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    ::SendMessageW(wnd, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
}

TEST(BannerStatic, ClickOpensTheMailLinkOnlyInsideTheContactStrip) {
    wintest::ShellRecorder recorder;
    RunWith([&](ControlsDialog& d) {
        HWND banner = d.banner.Handle();
        RECT rc;
        ::GetClientRect(banner, &rc);
        MoveTo(banner, 10, 10);
        Click(banner, 10, 10);
        MoveTo(banner, 10, rc.bottom - 4);
        Click(banner, 10, rc.bottom - 4);
        EXPECT_TRUE(recorder.Opened().empty());
        MoveTo(banner, 10, rc.bottom - 12);
        Click(banner, 10, rc.bottom - 12);
        EXPECT_EQ(recorder.Opened(),
                  std::vector<std::wstring>{L"mailto://" + std::wstring(CBannerStatic::kContactAddress)});
        ::ReleaseCapture();
    });
}

// The rows [first, last] of wnd's screen picture within [top, bottom) that hold anything but black.
std::pair<int, int> InkRows(HWND wnd, int top, int bottom) {
    auto shown = Capture(wnd);
    int first = bottom, last = -1;
    for (int y = top; y < bottom; ++y)
        for (int x = 0; x < shown->w; ++x)
            if (shown->At(x, y) != RGB(0, 0, 0)) {
                first = std::min(first, y);
                last = std::max(last, y);
            }
    return {first, last};
}

// Records the area of each paint a window receives, from a subclass over everything
// else (which also shows that the banner's procedure passes messages down the chain).
struct PaintLog {
    std::vector<RECT> areas;
    static LRESULT CALLBACK Proc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR self) {
        if (msg == WM_PAINT) {
            RECT area = {};
            ::GetUpdateRect(wnd, &area, FALSE);
            reinterpret_cast<PaintLog*>(self)->areas.push_back(area);
        }
        return ::DefSubclassProc(wnd, msg, wParam, lParam);
    }
};

TEST(BannerStatic, ATickPaintsOnlyTheTitleStripAtOnceAndNothingWhileHiddenOrMinimised) {
    RunWith([](ControlsDialog& d) {
        HWND banner = d.banner.Handle();
        RECT rc;
        ::GetClientRect(banner, &rc);
        ASSERT_TRUE(PumpTicks(banner, 2));
        const auto [firstRow, lastRow] = InkRows(banner, 0, 35);  // the owner block starts at 35
        ASSERT_LT(firstRow, lastRow);

        PaintLog log;
        ASSERT_TRUE(::SetWindowSubclass(banner, PaintLog::Proc, 1, reinterpret_cast<DWORD_PTR>(&log)));
        auto tickPaints = [&] {  // the paints that one tick makes before it returns
            ::UpdateWindow(banner);
            log.areas.clear();
            ::SendMessageW(banner, WM_TIMER, 0, 0);
            return log.areas;
        };

        // One paint: the whole title, across the full width, and none of the text blocks below it.
        std::vector<RECT> paints = tickPaints();
        ASSERT_EQ(paints.size(), 1u);
        EXPECT_EQ(paints[0].left, 0);
        EXPECT_EQ(paints[0].right, rc.right);
        EXPECT_LE(paints[0].top, firstRow);
        EXPECT_GT(paints[0].bottom, lastRow);
        EXPECT_LE(paints[0].bottom, 35);
        RECT answer = d.banner.TickArea();
        EXPECT_TRUE(::EqualRect(&paints[0], &answer));

        // Wine clips an invalidation to what is shown, so hidden the banner's own answer is asked.
        ::ShowWindow(d.Handle(), SW_MINIMIZE);
        answer = d.banner.TickArea();
        EXPECT_TRUE(::IsRectEmpty(&answer));
        EXPECT_TRUE(tickPaints().empty());
        ::ShowWindow(d.Handle(), SW_HIDE);
        answer = d.banner.TickArea();
        EXPECT_TRUE(::IsRectEmpty(&answer));
        EXPECT_TRUE(tickPaints().empty());
        ::ShowWindow(d.Handle(), SW_RESTORE);
        paints = tickPaints();
        answer = d.banner.TickArea();
        ASSERT_EQ(paints.size(), 1u);
        EXPECT_TRUE(::EqualRect(&paints[0], &answer));
        EXPECT_FALSE(::IsRectEmpty(&answer));
        ::RemoveWindowSubclass(banner, PaintLog::Proc, 1);
    });
}

TEST(BannerStatic, TheFixedPartsFollowHoverSizeAndFontWithoutAWholeRepaint) {
    RunWith([](ControlsDialog& d) {
        HWND banner = d.banner.Handle();
        RECT rc;
        ::GetClientRect(banner, &rc);
        const COLORREF white = RGB(255, 255, 255), idle = RGB(200, 224, 224);
        auto rowColours = [&](int top, int bottom) {
            auto shown = Capture(banner);
            std::set<COLORREF> colours;
            for (int y = top; y < bottom; ++y)
                for (int x = 0; x < shown->w; ++x) colours.insert(shown->At(x, y));
            return colours;
        };
        ASSERT_TRUE(PumpTicks(banner, 2));

        // Only ticks repaint from here: the hover must ask for its own line.
        MoveTo(banner, rc.right / 2, rc.bottom - 10);
        ASSERT_TRUE(PumpTicks(banner, 2));
        EXPECT_TRUE(rowColours(rc.bottom - 20, rc.bottom - 5).count(white));
        MoveTo(banner, -40, rc.bottom + 30);
        ASSERT_TRUE(PumpTicks(banner, 2));
        auto colours = rowColours(rc.bottom - 20, rc.bottom - 5);
        EXPECT_TRUE(colours.count(idle));
        EXPECT_FALSE(colours.count(white));

        // A taller banner shows the contact line at its new bottom, not where it was.
        RECT outer;
        ::GetWindowRect(banner, &outer);
        ::SetWindowPos(banner, nullptr, 0, 0, outer.right - outer.left + 4, outer.bottom - outer.top + 40,
                       SWP_NOMOVE | SWP_NOZORDER);
        ::InvalidateRect(banner, nullptr, FALSE);
        ::UpdateWindow(banner);
        RECT taller;
        ::GetClientRect(banner, &taller);
        ASSERT_EQ(taller.bottom, rc.bottom + 40);
        EXPECT_TRUE(rowColours(taller.bottom - 20, taller.bottom - 5).count(idle));
        EXPECT_FALSE(rowColours(rc.bottom - 20, rc.bottom - 5).count(idle));

        // A larger font draws the owner block again, wider.
        const auto ownerColumns = Capture(banner)->InkColumns(RGB(0, 0, 0), 35, 60);
        LOGFONTW lf = {};
        ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(banner, WM_GETFONT, 0, 0)), sizeof lf, &lf);
        lf.lfHeight = lf.lfHeight < 0 ? lf.lfHeight * 3 / 2 : -lf.lfHeight * 3 / 2;
        HFONT larger = ::CreateFontIndirectW(&lf);
        ::SendMessageW(banner, WM_SETFONT, reinterpret_cast<WPARAM>(larger), TRUE);
        ::UpdateWindow(banner);
        EXPECT_LT(Capture(banner)->InkColumns(RGB(0, 0, 0), 35, 60).first, ownerColumns.first);
        ::SendMessageW(banner, WM_SETFONT, ::SendMessageW(d.Handle(), WM_GETFONT, 0, 0), FALSE);
        ::DeleteObject(larger);
    });
}

}  // namespace
