// The recording stand-in for the browser and the mail program.
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>

#include "toolkit/files.h"
#include "toolkit/shell_recorder.h"

TEST(ShellRecorder, RecordsWhatTheShellOpensAndNothingElse) {
    wintest::ShellRecorder recorder;
    EXPECT_TRUE(recorder.Opened().empty());
    ::ShellExecuteW(nullptr, nullptr, L"mailto://someone@orvane.example", nullptr, nullptr, SW_SHOWNORMAL);
    EXPECT_EQ(recorder.Opened(), std::vector<std::wstring>{L"mailto://someone@orvane.example"});
    ::ShellExecuteW(nullptr, nullptr, L"http://127.0.0.1:8090/demo.swf", nullptr, nullptr, SW_SHOWNORMAL);
    std::vector<std::wstring> opened = recorder.Opened();
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[1], L"http://127.0.0.1:8090/demo.swf");

    std::wstring dir = wintest::MakeTempDir(L"shell recorder");
    std::wstring page = dir + L"\\demo.html";
    wintest::WriteFileBytes(page, "<html></html>");
    ::ShellExecuteW(nullptr, nullptr, page.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    opened = recorder.Opened();
    ASSERT_EQ(opened.size(), 3u);
    EXPECT_EQ(opened[2], page);
    wintest::RemoveTree(dir);
}
