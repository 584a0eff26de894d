// orvane.conf on disk, through the application object.
#include <gtest/gtest.h>

#include "allocation_hooks.h"
#include "app/streamer_app.h"
#include "toolkit/files.h"

TEST(ConfigFile, WrittenByteExactAndReadBack) {
    std::wstring dir = wintest::MakeTempDir(L"orvane conf test");
    CStreamerApp app((dir + L"\\OrvaneDemo.exe").c_str());
    app.m_settings = StreamSettings{8080, 640, 480, 30, 300};
    EXPECT_EQ(app.SaveServerConfig(), 0);
    std::string bytes = wintest::ReadFileBytes(dir + L"\\orvane.conf");
    EXPECT_EQ(bytes.substr(0, 35), "Port 8080\r\nBindAddress 0.0.0.0\r\nMax");
    EXPECT_NE(bytes.find("VideoSize 640x480\r\nVideoBitRate 300\r\nVideoBitRateTolerance 11\r\n</Stream>\r\n"),
              std::string::npos);

    CStreamerApp reader((dir + L"\\OrvaneDemo.exe").c_str());
    EXPECT_EQ(reader.m_settings, StreamSettings{});
    reader.LoadServerConfig();
    EXPECT_EQ(reader.m_settings, app.m_settings);

    // A hand-edited file with a lone CR and an end-of-file byte.
    wintest::WriteFileBytes(dir + L"\\orvane.conf",
                            std::string("port 81\r\nVideoFrameRate 5\rX\r\n\x1AVideoBitRate 9\r\n"));
    CStreamerApp edited((dir + L"\\OrvaneDemo.exe").c_str());
    edited.LoadServerConfig();
    EXPECT_EQ(edited.m_settings, (StreamSettings{81, 0, 0, 5, 0}));
    wintest::RemoveTree(dir);
}

TEST(ConfigFile, HugeHandEditedFileIsReadAPieceAtATime) {
    std::wstring dir = wintest::MakeTempDir(L"orvane conf huge");
    // 16 MiB of comment lines and one line of 3 MiB between the directives.
    std::string bytes = "VideoFrameRate 9\r\n";
    const std::string comment = "#" + std::string(97, '-') + "\r\n";
    while (bytes.size() < (size_t(16) << 20)) bytes += comment;
    bytes += std::string(size_t(3) << 20, ' ') + "\r\nPort 8086\r\n";
    wintest::WriteFileBytes(dir + L"\\orvane.conf", bytes);
    bytes = std::string();

    CStreamerApp app((dir + L"\\OrvaneDemo.exe").c_str());
    {
        wintest::AllocationWatch watch;
        app.LoadServerConfig();
        // A chunk of the file and a piece of a line at a time, never the file.
        EXPECT_LT(watch.Largest(), 64u * 1024);
    }
    EXPECT_EQ(app.m_settings, (StreamSettings{8086, 0, 0, 9, 0}));
    wintest::RemoveTree(dir);
}

TEST(ConfigFile, MissingOrUnwritableFile) {
    std::wstring dir = wintest::MakeTempDir(L"orvane conf missing");
    CStreamerApp app((dir + L"\\OrvaneDemo.exe").c_str());
    app.LoadServerConfig();
    EXPECT_EQ(app.m_settings, StreamSettings{});
    // A folder in the file's place: root ignores read-only bits, not this.
    ::CreateDirectoryW((dir + L"\\orvane.conf").c_str(), nullptr);
    EXPECT_EQ(app.SaveServerConfig(), 0);
    wintest::RemoveTree(dir);
}

TEST(AppObject, PathsFromTheExecutable) {
    CStreamerApp app(L"C:\\Cam\\panel.exe");
    EXPECT_EQ(app.m_moduleDir, L"C:\\Cam");
    EXPECT_EQ(app.m_encoderPath, L"C:\\Cam\\orvane.dll");
    EXPECT_EQ(app.m_serverPath, L"C:\\Cam\\server.dll");
    EXPECT_EQ(app.m_settings, (StreamSettings{80, 0, 0, 15, 0}));
    EXPECT_EQ(app.m_programs.ProcessId(Program::Server), 0u);
    EXPECT_EQ(app.m_programs.ProcessHandle(Program::Encoder), nullptr);
    CStreamerApp root(L"C:\\panel.exe");
    EXPECT_EQ(root.m_moduleDir, L"C:");
    EXPECT_EQ(root.m_serverPath, L"C:\\server.dll");
    // The real one: title is the executable's name without extension.
    CStreamerApp own;
    EXPECT_EQ(own.Title(), L"win_tests");
}
