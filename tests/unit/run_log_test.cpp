// The run log: written anew at each start, and never past its bound, where one line
// says that the rest went to the console.
#include "programs/common/run_log.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

TEST(RunLog, StartsEmptyAndStaysWithinItsBound) {
    const std::string path = testing::TempDir() + "run_log_test.log";
    const std::wstring wide(path.begin(), path.end());
    OpenRunLog(wide, 200);
    AddToRunLog("first run\n");
    OpenRunLog(wide, 200);
    for (int i = 0; i < 50; ++i) AddToRunLog("line " + std::to_string(i) + "\n");
    OpenRunLog(L"");  // lets the file go
    const std::string text = Contents(path);
    EXPECT_EQ(text.find("first run"), std::string::npos);
    EXPECT_EQ(text.rfind("line 0\n", 0), 0u);
    EXPECT_LE(text.size(), 200u);
    const std::string full = "(the log is full: later messages went to the console only)\n";
    ASSERT_GE(text.size(), full.size());
    EXPECT_EQ(text.substr(text.size() - full.size()), full);
    std::remove(path.c_str());
}
