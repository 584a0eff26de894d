// The animated title banner: takes over a static control and paints all of it: the
// title one letter at a time in colours that flow from the first letter to the last
// (redrawn on a 20 ms timer), two fixed text blocks, and a contact line that works as
// a mail link (hand cursor and white while the pointer is over it, click to write a
// mail). A double-click gives the wandering colour a fresh random start.
#pragma once
#include <windows.h>

#include <optional>
#include <vector>

#include "controls/color_walk.h"
#include "framework/control.h"
#include "framework/handles.h"

class CBannerStatic : public fw::StaticControl {
public:
    CBannerStatic();
    // With another random source (tests).
    explicit CBannerStatic(controls::RandomSource& random);

    static const wchar_t kTitle[];
    static const wchar_t kOwnerBlock[];
    static const wchar_t kEditionNote[];
    static const wchar_t kContactAddress[];

    const controls::ColorWalk& Colors() const { return m_colors; }
    bool IsHovering() const { return m_hover; }
    // What a timer tick invalidates: the title's strip, or nothing while the banner is
    // not shown (hidden, or in a minimised dialog).
    RECT TickArea() const;

protected:
    void OnAttach() override;
    bool OnMessage(fw::Message& m) override;

private:
    void OnPaint();
    void OnTimer(fw::Message& m);
    void OnSetFont(fw::Message& m);
    void OnMouseMove(fw::Message& m);
    void OnClicked();
    void OnDoubleClick(fw::Message& m);
    void StepColors(int count) { m_colors.StepColors(count); }
    RECT ContactStrip() const;
    bool LayoutFits(int width, int height) const;
    // A size drawn for 96 DPI, at the screen's DPI.
    int Scaled(int pixels) const;
    void LayOut(HDC screen, const RECT& client);

    controls::ColorWalk m_colors;    // the colour history, head first
    bool m_hover = false;            // the pointer is over the contact strip
    HCURSOR m_handCursor = nullptr;  // shared system cursor: never destroyed
    fw::Font m_titleFont;
    fw::Font m_linkFont;
    int m_titleHeight = 0;  // of a line in the title font
    int m_dpi;              // the screen's, taken when constructed

    HFONT m_dialogFont = nullptr;  // the banner's own font, as last set

    // What never changes between frames (background, text blocks, the contact line),
    // once with the contact line in its idle colour and once in its hover colour, and
    // where each letter of the title starts: made again only for a new size or font.
    // The frame is composed from a backdrop and the title, then copied to the screen.
    std::optional<fw::OffscreenBitmap> m_backdrop[2];
    std::optional<fw::OffscreenBitmap> m_frame;
    std::vector<int> m_letterX;
};
