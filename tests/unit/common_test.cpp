// The facts and helpers that the panel and both programs share.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "common/ascii_case.h"
#include "common/frame_sizes.h"
#include "common/utf8.h"
#include "common/whole_file.h"

namespace {

namespace fs = std::filesystem;

struct NamedSize {
    const char* name;
    int width, height;
};

TEST(FrameSizes, NamesOfTheOldTools) {
    // The panel's list first, in its order (the panel shows these seven rows).
    const NamedSize panel[] = {{"sqcif", 128, 96},  {"qcif", 176, 144}, {"cif", 352, 288}, {"4cif", 704, 576},
                               {"qqvga", 160, 120}, {"qvga", 320, 240}, {"vga", 640, 480}};
    for (size_t i = 0; i < 7; ++i) {
        EXPECT_STREQ(kFrameSizes[i].name, panel[i].name);
        EXPECT_EQ(kFrameSizes[i].width, panel[i].width) << panel[i].name;
        EXPECT_EQ(kFrameSizes[i].height, panel[i].height) << panel[i].name;
    }
    EXPECT_EQ(kFrameSizeCount, 37u);
    const NamedSize others[] = {{"ntsc", 720, 480},     {"pal", 720, 576},  {"ntsc-film", 352, 240},
                                {"16cif", 1408, 1152},  {"svga", 800, 600}, {"sxga", 1280, 1024},
                                {"whuxga", 7680, 4800}, {"cga", 320, 200},  {"hd1080", 1920, 1080}};
    for (const NamedSize& n : others) {
        const FrameSize* found = FindFrameSize(n.name);
        ASSERT_NE(found, nullptr) << n.name;
        EXPECT_EQ(found->width, n.width) << n.name;
        EXPECT_EQ(found->height, n.height) << n.name;
    }
    // Compared without case; anything else is no name.
    ASSERT_NE(FindFrameSize("QVGA"), nullptr);
    EXPECT_EQ(FindFrameSize("QVGA")->width, 320);
    for (const char* unknown : {"", "vga2", "qvga ", "640x480", "custom"})
        EXPECT_EQ(FindFrameSize(unknown), nullptr) << unknown;
}

TEST(AsciiCase, FoldsOnlyAToZ) {
    EXPECT_EQ(AsciiLower(std::string("Content-LENGTH: 5 @[`{")), "content-length: 5 @[`{");
    EXPECT_EQ(AsciiLower(std::string("\xC3\x84")), "\xC3\x84");  // whatever the locale
    EXPECT_EQ(AsciiLower(L'Q'), L'q');
    EXPECT_EQ(AsciiLower(wchar_t(0xC4)), wchar_t(0xC4));
    EXPECT_TRUE(StartsWithNoCase(L"c:\\PROGRAM files\\cam\\server.dll -f x", L"C:\\Program Files\\Cam\\server.dll"));
    EXPECT_TRUE(StartsWithNoCase(L"VIDEOSIZE 640x480", L"VideoSize "));
    EXPECT_TRUE(StartsWithNoCase(L"abc", L""));
    EXPECT_FALSE(StartsWithNoCase(L"VideoSiz", L"VideoSize "));
    EXPECT_FALSE(StartsWithNoCase(L"\u00c4x", L"\u00e4x"));
    EXPECT_FALSE(StartsWithNoCase(L"VideoSize\t640x480", L"VideoSize "));
}

TEST(Utf8, RoundTripAndBadBytes) {
    std::wstring text = L"caf\u00e9 \u20ac";
    EXPECT_EQ(ToUtf8(text), "caf\xc3\xa9 \xe2\x82\xac");
    EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
    EXPECT_EQ(FromUtf8("\xff"), std::wstring(1, wchar_t(0xFFFD)));
    EXPECT_EQ(FromUtf8("\xe2\x82"), L"\uFFFD\uFFFD");
    // ASCII, such as a dotted address: each byte becomes the character of its value.
    EXPECT_EQ(FromUtf8("192.168.1.10"), L"192.168.1.10");
    EXPECT_EQ(FromUtf8(""), L"");
}

// A file in the test's working folder, which belongs to its build tree.
fs::path WriteTestFile(const char* name, const std::string& bytes) {
    fs::path path = fs::current_path() / name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

TEST(WholeFile, EveryByteUpToTheBound) {
    // Binary: CR LF, a NUL and 0x1A stay as they are; longer than one read of the file.
    std::string bytes = std::string("a\r\nb\0c\x1A", 7) + std::string(40000, 'x') + "end";
    fs::path path = WriteTestFile("whole_file_test.bin", bytes);
    std::string read;
    EXPECT_EQ(ReadWholeFile(path.wstring(), bytes.size(), read), ReadResult::Ok);
    EXPECT_EQ(read, bytes);
    EXPECT_EQ(ReadWholeFile(path.wstring(), bytes.size() - 1, read), ReadResult::TooLarge);
    fs::remove(path);

    path = WriteTestFile("whole_file_test_empty.bin", "");
    read = "stale";
    EXPECT_EQ(ReadWholeFile(path.wstring(), 0, read), ReadResult::Ok);
    EXPECT_EQ(read, "");
    fs::remove(path);
}

TEST(WholeFile, MissingFileOrAFolderIsUnreadable) {
    std::string read;
    EXPECT_EQ(ReadWholeFile((fs::current_path() / "whole_file_test_absent").wstring(), 100, read),
              ReadResult::Unreadable);
    fs::path folder = fs::current_path() / "whole_file_test_folder";
    fs::create_directories(folder);
    EXPECT_EQ(ReadWholeFile(folder.wstring(), 100, read), ReadResult::Unreadable);
    fs::remove(folder);
}

}  // namespace
