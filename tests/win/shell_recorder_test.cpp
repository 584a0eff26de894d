// The recording stand-in for the browser and the mail program.
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>

#include "win_test_support.h"

TEST(ShellRecorder, RecordsWhatTheShellOpensAndNothingElse) {
    wintest::ShellRecorder recorder;
    EXPECT_TRUE(recorder.Opened(300).empty());
    ::ShellExecuteW(nullptr, nullptr, L"mailto://someone@orvane.example", nullptr, nullptr, SW_SHOWNORMAL);
    EXPECT_EQ(recorder.Opened(10000), std::vector<std::wstring>{L"mailto://someone@orvane.example"});
    ::ShellExecuteW(nullptr, nullptr, L"http://127.0.0.1:8090/demo.swf", nullptr, nullptr, SW_SHOWNORMAL);
    for (int i = 0; i < 500 && recorder.Opened(0).size() < 2; ++i) ::Sleep(10);
    std::vector<std::wstring> opened = recorder.Opened(0);
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[1], L"http://127.0.0.1:8090/demo.swf");

    std::wstring dir = wintest::MakeTempDir(L"shell recorder");
    std::wstring page = dir + L"\\demo.html";
    wintest::WriteFileBytes(page, "<html></html>");
    ::ShellExecuteW(nullptr, nullptr, page.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    for (int i = 0; i < 500 && recorder.Opened(0).size() < 3; ++i) ::Sleep(10);
    opened = recorder.Opened(0);
    ASSERT_EQ(opened.size(), 3u);
    EXPECT_EQ(opened[2], page);
    wintest::RemoveTree(dir);
}
