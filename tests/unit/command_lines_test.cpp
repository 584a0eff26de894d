#include "backend/command_lines.h"

#include <gtest/gtest.h>

#include "backend/program_paths.h"

TEST(CommandLines, ExamplesByteForByte) {
    const std::wstring dir = L"C:\\Program Files\\Cam";
    EXPECT_EQ(ServerCommandLine(dir + L"\\server.dll", dir),
              L"C:\\Program Files\\Cam\\server.dll -f \"C:\\Program Files\\Cam\\orvane.conf\"");
    std::wstring escaped;
    ASSERT_TRUE(EscapeSpaceRuns(dir, escaped));
    EXPECT_EQ(EncoderCommandLine(dir + L"\\orvane.dll", escaped, 15, 0, 80),
              L"C:\\Program Files\\Cam\\orvane.dll -f vfwcap -r 15 -i 0 -sameq -vhook \"watermark -f "
              L"C:\\Program\\ Files\\Cam\\logo.gif\" http://localhost:80/feed.ffm");
    EXPECT_EQ(EncoderCommandLine(dir + L"\\orvane.dll", escaped, 15, 300, 80),
              L"C:\\Program Files\\Cam\\orvane.dll -f vfwcap -r 15 -i 0 -vhook \"watermark -f "
              L"C:\\Program\\ Files\\Cam\\logo.gif\" http://localhost:80/feed.ffm");
    // A negative bit rate gets no -sameq either.
    EXPECT_EQ(EncoderCommandLine(L"C:\\C\\orvane.dll", L"C:\\C", 60, -1, 8080),
              L"C:\\C\\orvane.dll -f vfwcap -r 60 -i 0 -vhook \"watermark -f C:\\C\\logo.gif\" "
              L"http://localhost:8080/feed.ffm");
}

TEST(CommandLines, EscapesEachRunOfSpacesOnce) {
    std::wstring out;
    ASSERT_TRUE(EscapeSpaceRuns(L"C:\\Cam", out));
    EXPECT_EQ(out, L"C:\\Cam");
    ASSERT_TRUE(EscapeSpaceRuns(L"C:\\A  B\\C D", out));
    EXPECT_EQ(out, L"C:\\A\\  B\\C\\ D");
    ASSERT_TRUE(EscapeSpaceRuns(L"C:\\A B ", out));
    EXPECT_EQ(out, L"C:\\A\\ B\\ ");
}

TEST(CommandLines, EscapedDirectoryMustFitThePathBuffer) {
    std::wstring out;
    std::wstring dir = L"C:\\" + std::wstring(256, L'a');  // 259 characters, no spaces
    EXPECT_TRUE(EscapeSpaceRuns(dir, out));
    dir[10] = L' ';  // one more character once escaped
    EXPECT_FALSE(EscapeSpaceRuns(dir, out));
    EXPECT_TRUE(out.empty());
}

TEST(ProgramPaths, DirectoryWithoutTrailingBackslash) {
    ProgramPaths p;
    ASSERT_TRUE(ComposeProgramPaths(L"C:\\Cam\\panel.exe", p));
    EXPECT_EQ(p.moduleDir, L"C:\\Cam");
    EXPECT_EQ(p.encoderPath, L"C:\\Cam\\orvane.dll");
    EXPECT_EQ(p.serverPath, L"C:\\Cam\\server.dll");
    ASSERT_TRUE(ComposeProgramPaths(L"C:\\panel.exe", p));
    EXPECT_EQ(p.moduleDir, L"C:");
    EXPECT_EQ(p.encoderPath, L"C:\\orvane.dll");
    EXPECT_EQ(p.serverPath, L"C:\\server.dll");
}

TEST(ProgramPaths, TooLongDirectoryIsRefused) {
    ProgramPaths p;
    std::wstring dir = L"C:\\" + std::wstring(244, L'd');  // 247 + "\orvane.conf" = 259
    EXPECT_TRUE(ComposeProgramPaths(dir + L"\\p.exe", p));
    EXPECT_FALSE(ComposeProgramPaths(dir + L"d\\p.exe", p));
}
