// "Test Page in Browser!" writes demo.html and hands it to the shell; the address
// look-up calls WSACleanup exactly once on every path.
#include <gtest/gtest.h>

#include <winsock2.h>

#include <array>
#include <cstring>
#include <vector>

#include "res/resource.h"
#include "toolkit/files.h"
#include "toolkit/panel_fixture.h"
#include "toolkit/shell_recorder.h"
#include "ui/local_address.h"

using wintest::PanelTest;

namespace {

// Under Wine the shell would hand pages to the desktop: the recorder stands in for the browser.
class TestPageTest : public PanelTest {
protected:
    std::unique_ptr<wintest::ShellRecorder> shell;
    void SetUp() override {
        PanelTest::SetUp();
        shell = std::make_unique<wintest::ShellRecorder>();
    }
    void TearDown() override {
        PanelTest::TearDown();
        shell.reset();
    }
};

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

}  // namespace

TEST_F(TestPageTest, PressWritesThePageAndOpensIt) {
    StreamSettings s;
    s.port = 8080;
    s.width = 640;
    s.height = 480;
    Open(s);
    EXPECT_FALSE(Enabled(IDC_TEST_PAGE));
    ASSERT_TRUE(Click(IDC_START_STOP));
    ASSERT_TRUE(Enabled(IDC_TEST_PAGE));
    ASSERT_TRUE(Click(IDC_TEST_PAGE));

    const std::wstring page = dir + L"\\demo.html";
    std::string bytes = wintest::ReadFileBytes(page);
    std::wstring address = GetLocalAddress();
    std::string addr(address.begin(), address.end());
    EXPECT_EQ(bytes.rfind("<html>\r\n<h3>Orvane DEMO Page</h3>\r\n<p>", 0), 0u);
    EXPECT_NE(
        bytes.find("\r\n<p>If you see pop-up security warning band about ActiveX controls in IE browser, "
                   "please click on it and select <b>\"Allow Blocked Content\"</b></p><br>\r\n<embed src=\"http://" +
                   addr +
                   ":8080/demo.swf\" quality=\"high\" bgcolor=\"#ffffff\" width=\"640\" height=\"480\" "
                   "name=\"Orvane DEMO\" align=\"center\" allowScriptAccess=\"sameDomain\" "
                   "type=\"application/x-shockwave-flash\" pluginspage=\""),
        std::string::npos)
        << bytes;
    // Then the line that shows the MJPEG stream where Flash is missing, and the end.
    EXPECT_NE(bytes.find("\" />\r\n<script type=\"text/javascript\">"), std::string::npos);
    EXPECT_NE(bytes.find("i.src=\"http://" + addr + ":8080/demo.mjpg\";i.width=640;i.height=480;"), std::string::npos);
    const std::string end = "</script>\r\n</html>\r\n";
    EXPECT_EQ(bytes.substr(bytes.size() - end.size()), end);
    EXPECT_EQ(Count(bytes, "\n"), 7u);
    EXPECT_EQ(Count(bytes, "\r\n"), 7u);

    std::vector<std::wstring> opened = shell->Opened();
    ASSERT_EQ(opened.size(), 1u) << "the shell opened nothing";
    EXPECT_EQ(::lstrcmpiW(opened[0].c_str(), page.c_str()), 0) << std::string(opened[0].begin(), opened[0].end());

    // A second press rewrites the page and opens it again.
    ::DeleteFileW(page.c_str());
    ASSERT_TRUE(Click(IDC_TEST_PAGE));
    EXPECT_EQ(wintest::ReadFileBytes(page), bytes);
    EXPECT_EQ(shell->Opened().size(), 2u);
}

TEST_F(TestPageTest, UnwritablePageOpensNothing) {
    ::CreateDirectoryW((dir + L"\\demo.html").c_str(), nullptr);  // root ignores read-only files
    Open();
    ASSERT_TRUE(Click(IDC_START_STOP));
    ASSERT_TRUE(Click(IDC_TEST_PAGE));
    EXPECT_TRUE(shell->Opened().empty());
    EXPECT_TRUE(MessageBoxes().empty());
}

namespace {

// A fake resolver: which paths ran, and how often Winsock was cleaned up.
struct FakeWinsock {
    int startups = 0;
    int cleanups = 0;
    bool nameFails = false;
    bool hostFails = false;
    std::vector<std::array<unsigned char, 4>> addresses;
};
FakeWinsock g_fake;
hostent g_host;
std::vector<std::array<unsigned char, 4>> g_storage;
std::vector<char*> g_list;

int WSAAPI FakeStartup(WORD version, LPWSADATA) {
    EXPECT_EQ(version, 0x0101);
    ++g_fake.startups;
    return 0;
}
int WSAAPI FakeGethostname(char* name, int len) {
    EXPECT_EQ(len, 256);
    if (g_fake.nameFails) return SOCKET_ERROR;
    std::strcpy(name, "camera-pc");
    return 0;
}
hostent* WSAAPI FakeGethostbyname(const char* name) {
    EXPECT_STREQ(name, "camera-pc");
    if (g_fake.hostFails) return nullptr;
    g_storage = g_fake.addresses;
    g_list.clear();
    for (auto& a : g_storage) g_list.push_back(reinterpret_cast<char*>(a.data()));
    g_list.push_back(nullptr);
    g_host = {};
    g_host.h_addrtype = AF_INET;
    g_host.h_length = 4;
    g_host.h_addr_list = g_list.data();
    return &g_host;
}
int WSAAPI FakeCleanup() {
    ++g_fake.cleanups;
    return 0;
}

std::wstring LookUp(const FakeWinsock& fake) {
    g_fake = fake;
    WinsockCalls calls;
    calls.startup = FakeStartup;
    calls.gethostname = FakeGethostname;
    calls.gethostbyname = FakeGethostbyname;
    calls.cleanup = FakeCleanup;
    std::wstring address = GetLocalAddress(calls);
    EXPECT_EQ(g_fake.startups, 1);
    EXPECT_EQ(g_fake.cleanups, 1);
    return address;
}

}  // namespace

TEST(LocalAddressLookUp, EveryPathCleansUpOnce) {
    FakeWinsock fake;
    fake.nameFails = true;
    EXPECT_EQ(LookUp(fake), L"127.0.0.1");
    fake.nameFails = false;
    fake.hostFails = true;
    EXPECT_EQ(LookUp(fake), L"127.0.0.1");
    fake.hostFails = false;
    EXPECT_EQ(LookUp(fake), L"127.0.0.1");  // no addresses at all
    fake.addresses = {{127, 0, 0, 1}};
    EXPECT_EQ(LookUp(fake), L"127.0.0.1");
    fake.addresses = {{127, 0, 1, 1}, {192, 168, 1, 10}};
    EXPECT_EQ(LookUp(fake), L"192.168.1.10");
    fake.addresses = {{10, 0, 0, 7}, {192, 168, 1, 10}};
    EXPECT_EQ(LookUp(fake), L"10.0.0.7");
    // The buffer is shared: a later call overwrites a longer earlier text.
    const wchar_t* first = GetLocalAddress(WinsockCalls{});
    fake.addresses = {{255, 255, 255, 255}};
    EXPECT_EQ(LookUp(fake), L"255.255.255.255");
    fake.addresses = {};
    fake.nameFails = true;
    EXPECT_EQ(LookUp(fake), L"127.0.0.1");
    EXPECT_STREQ(first, L"127.0.0.1");
}
