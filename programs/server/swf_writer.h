// Writing the live SWF stream: a header, then per frame the JPEG as a bitmap,
// a rectangle shape filled with it on depth 1, and ShowFrame.
#pragma once
#include <cstdint>
#include <string>

class SwfStreamWriter {
public:
    static constexpr int kVersion = 6;
    static constexpr uint16_t kTagEnd = 0, kTagShowFrame = 1, kTagDefineShape = 2, kTagFreeCharacter = 3,
                              kTagSetBackgroundColor = 9, kTagDefineBitsJpeg2 = 21, kTagPlaceObject2 = 26,
                              kTagRemoveObject2 = 28;
    // Length written in the header of an endless stream.
    static constexpr uint32_t kOpenLength = 0x7FFFFFFF;

    // The stage size in pixels and the frame rate.
    SwfStreamWriter(int width, int height, double frameRate);

    // The file header and the background colour.
    std::string Header() const;

    // The tags before and after the JPEG bytes of one frame, so that the
    // frame's bytes can be sent without copying the picture: prefix, JPEG,
    // suffix. The picture is scaled to the stage.
    void Frame(size_t jpegSize, int jpegWidth, int jpegHeight, std::string& prefix, std::string& suffix);

    // The end tag, for a stream that is cut and closed.
    static std::string End();

private:
    int width_, height_;
    double frameRate_;
    uint64_t frames_ = 0;
    uint16_t nextId_ = 1;
    uint16_t placedBitmap_ = 0, placedShape_ = 0;
};

// Little helpers shared with tests of the format.
void PutU16(std::string& out, uint32_t v);
void PutU32(std::string& out, uint32_t v);
void PutTagHeader(std::string& out, uint16_t code, uint32_t length, bool forceLong = false);
