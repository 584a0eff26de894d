// Move-only owners of Win32 handles and GDI objects. Copying an owner would close
// the handle twice, so copies are not allowed; a raw handle can be looked at with get().
#pragma once
#include <windows.h>
#include <utility>

namespace fw {

template <typename Traits>
class UniqueHandle {
public:
    using Handle = typename Traits::Handle;
    UniqueHandle() = default;
    explicit UniqueHandle(Handle h) : m_h(h) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : m_h(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    Handle get() const { return m_h; }
    explicit operator bool() const { return Traits::valid(m_h); }
    Handle release() { return std::exchange(m_h, Traits::invalid()); }
    void reset(Handle h = Traits::invalid()) {
        if (Traits::valid(m_h)) Traits::close(m_h);
        m_h = h;
    }

private:
    Handle m_h = Traits::invalid();
};

struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle invalid() { return nullptr; }
    static bool valid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void close(Handle h) { ::CloseHandle(h); }
};
template <typename T>
struct GdiObjectTraits {
    using Handle = T;
    static Handle invalid() { return nullptr; }
    static bool valid(Handle h) { return h != nullptr; }
    static void close(Handle h) { ::DeleteObject(h); }
};
struct IconTraits {
    using Handle = HICON;
    static Handle invalid() { return nullptr; }
    static bool valid(Handle h) { return h != nullptr; }
    static void close(Handle h) { ::DestroyIcon(h); }
};
struct MenuTraits {
    using Handle = HMENU;
    static Handle invalid() { return nullptr; }
    static bool valid(Handle h) { return h != nullptr; }
    static void close(Handle h) { ::DestroyMenu(h); }
};
struct MemoryDcTraits {
    using Handle = HDC;
    static Handle invalid() { return nullptr; }
    static bool valid(Handle h) { return h != nullptr; }
    static void close(Handle h) { ::DeleteDC(h); }
};

using Handle = UniqueHandle<KernelHandleTraits>;
using Font = UniqueHandle<GdiObjectTraits<HFONT>>;
using Bitmap = UniqueHandle<GdiObjectTraits<HBITMAP>>;
using Brush = UniqueHandle<GdiObjectTraits<HBRUSH>>;
using Icon = UniqueHandle<IconTraits>;  // only for icons we created, never shared ones
using Menu = UniqueHandle<MenuTraits>;
using MemoryDc = UniqueHandle<MemoryDcTraits>;

// A DC obtained with GetDC, given back with ReleaseDC.
class WindowDc {
public:
    explicit WindowDc(HWND wnd) : m_wnd(wnd), m_dc(::GetDC(wnd)) {}
    ~WindowDc() {
        if (m_dc) ::ReleaseDC(m_wnd, m_dc);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC get() const { return m_dc; }

private:
    HWND m_wnd;
    HDC m_dc;
};

// The DC of a WM_PAINT, between BeginPaint and EndPaint.
class PaintDc {
public:
    explicit PaintDc(HWND wnd) : m_wnd(wnd), m_dc(::BeginPaint(wnd, &m_ps)) {}
    ~PaintDc() { ::EndPaint(m_wnd, &m_ps); }
    PaintDc(const PaintDc&) = delete;
    PaintDc& operator=(const PaintDc&) = delete;
    HDC get() const { return m_dc; }
    // What this paint must draw: the bounding box of the window's update region.
    const RECT& Area() const { return m_ps.rcPaint; }

private:
    HWND m_wnd;
    PAINTSTRUCT m_ps = {};
    HDC m_dc;
};

// A memory DC with a bitmap of its own selected into it, for drawing off screen and
// keeping the picture between paints. The bitmap is deselected before either goes.
// Neither copied nor moved: keep one in a std::optional and emplace a new size.
class OffscreenBitmap {
public:
    OffscreenBitmap(HDC compatibleWith, int width, int height)
        : m_dc(::CreateCompatibleDC(compatibleWith)), m_bitmap(::CreateCompatibleBitmap(compatibleWith, width, height)),
          m_old(m_dc && m_bitmap ? ::SelectObject(m_dc.get(), m_bitmap.get()) : nullptr), m_width(width),
          m_height(height) {}
    ~OffscreenBitmap() {
        if (m_old) ::SelectObject(m_dc.get(), m_old);
    }
    OffscreenBitmap(const OffscreenBitmap&) = delete;
    OffscreenBitmap& operator=(const OffscreenBitmap&) = delete;

    // False when the DC or the bitmap could not be made: then there is nothing to draw on.
    explicit operator bool() const { return m_old != nullptr; }
    HDC dc() const { return m_dc.get(); }
    int Width() const { return m_width; }
    int Height() const { return m_height; }

private:
    MemoryDc m_dc;
    Bitmap m_bitmap;
    HGDIOBJ m_old;
    int m_width;
    int m_height;
};

// Selects an object into a DC for a scope and puts the previous one back.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ obj) : m_dc(dc), m_old(::SelectObject(dc, obj)) {}
    ~SelectedObject() {
        if (m_old) ::SelectObject(m_dc, m_old);
    }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

private:
    HDC m_dc;
    HGDIOBJ m_old;
};

}  // namespace fw
