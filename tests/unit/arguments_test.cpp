#include "programs/common/arguments.h"

#include <gtest/gtest.h>

using Args = std::vector<std::wstring>;

TEST(ProgramArguments, SkipsOwnUnquotedPathWithSpaces) {
    const std::wstring self = L"C:\\Program Files\\Cam\\server.dll";
    EXPECT_EQ(ProgramArguments(self + L" -f \"C:\\Program Files\\Cam\\orvane.conf\"", self),
              (Args{L"-f", L"C:\\Program Files\\Cam\\orvane.conf"}));
    // Compared without case, and quoted forms work too.
    EXPECT_EQ(ProgramArguments(L"c:\\program files\\CAM\\SERVER.DLL -f x", self), (Args{L"-f", L"x"}));
    EXPECT_EQ(ProgramArguments(L"\"" + self + L"\" -f x", self), (Args{L"-f", L"x"}));
    const std::wstring twoSpaces = L"C:\\A  B\\orvane.dll";
    EXPECT_EQ(ProgramArguments(twoSpaces + L" -i 0", twoSpaces), (Args{L"-i", L"0"}));
    EXPECT_EQ(ProgramArguments(twoSpaces, twoSpaces), Args{});
    // Started some other way: the first token is the program name.
    EXPECT_EQ(ProgramArguments(L"server -f a.conf", self), (Args{L"-f", L"a.conf"}));
    EXPECT_EQ(ProgramArguments(L"\"my server\" -f a.conf", self), (Args{L"-f", L"a.conf"}));
    // A path that only starts like ours is not ours: the usual rules apply.
    EXPECT_EQ(ProgramArguments(self + L"x -f", self), (Args{L"Files\\Cam\\server.dllx", L"-f"}));
}

TEST(ProgramArguments, SplitsAsTheRuntimeDoes) {
    EXPECT_EQ(SplitCommandLine(L"-vhook \"watermark -f C:\\Program\\ Files\\Cam\\logo.gif\" http://x/"),
              (Args{L"-vhook", L"watermark -f C:\\Program\\ Files\\Cam\\logo.gif", L"http://x/"}));
    EXPECT_EQ(SplitCommandLine(L"a\\\\\"b c\" d"), (Args{L"a\\b c", L"d"}));
    EXPECT_EQ(SplitCommandLine(L"a\\\"b"), (Args{L"a\"b"}));
    EXPECT_EQ(SplitCommandLine(L"\"\" x"), (Args{L"", L"x"}));
    EXPECT_EQ(SplitCommandLine(L"  \t "), Args{});
}
