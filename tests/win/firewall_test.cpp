// Firewall authorisation against fake firewall objects that record every call.
#include <gtest/gtest.h>
#include <netfw.h>

#include <map>
#include <string>
#include <vector>

#include "app/streamer_app.h"
#include "toolkit/message_boxes.h"

namespace {

std::vector<std::string> g_log;
void Log(const std::string& s) { g_log.push_back(s); }
std::string Narrow(const wchar_t* w) {
    std::string s;
    for (; w && *w; ++w) s += static_cast<char>(*w);
    return s;
}

// IUnknown and IDispatch for every fake; each logs its own release.
template <typename I>
class Fake : public I {
public:
    explicit Fake(std::string name) : m_name(std::move(name)) {}
    virtual ~Fake() = default;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override {
        Log("Release " + m_name);
        return --m_refs;  // fakes live in the test; the count shows leaks and double releases
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }
    // An interface handed out with a reference; released once it must be back to 0.
    I* HandOut() {
        ++m_refs;
        return this;
    }
    long refs() const { return m_refs; }

protected:
    std::string m_name;
    long m_refs = 0;
};

struct FakeEntry : Fake<INetFwAuthorizedApplication> {
    using Fake::Fake;
    std::wstring name, image;
    VARIANT_BOOL enabled = VARIANT_FALSE;
    HRESULT STDMETHODCALLTYPE get_Name(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_Name(BSTR n) override {
        Log(m_name + ".put_Name " + Narrow(n));
        name = n;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_ProcessImageFileName(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_ProcessImageFileName(BSTR n) override {
        Log(m_name + ".put_ProcessImageFileName " + Narrow(n));
        image = n;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_IpVersion(NET_FW_IP_VERSION*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_IpVersion(NET_FW_IP_VERSION) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Scope(NET_FW_SCOPE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_Scope(NET_FW_SCOPE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_RemoteAddresses(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_RemoteAddresses(BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Enabled(VARIANT_BOOL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_Enabled(VARIANT_BOOL e) override {
        Log(m_name + ".put_Enabled " + std::to_string(e));
        enabled = e;
        return S_OK;
    }
};

struct FakeList : Fake<INetFwAuthorizedApplications> {
    using Fake::Fake;
    std::map<std::wstring, FakeEntry*> entries;  // by image path
    std::vector<FakeEntry*> added;
    HRESULT STDMETHODCALLTYPE get_Count(LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Add(INetFwAuthorizedApplication* app) override {
        Log("List.Add");
        added.push_back(static_cast<FakeEntry*>(app));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Remove(BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Item(BSTR path, INetFwAuthorizedApplication** app) override {
        Log("List.Item " + Narrow(path));
        auto it = entries.find(path);
        if (it == entries.end()) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
        *app = it->second->HandOut();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown**) override { return E_NOTIMPL; }
};

struct FakeProfile : Fake<INetFwProfile> {
    using Fake::Fake;
    FakeList* list = nullptr;
    HRESULT enabledResult = S_OK, notAllowedResult = S_OK, listResult = S_OK;
    VARIANT_BOOL firewallEnabled = VARIANT_TRUE, exceptionsNotAllowed = VARIANT_FALSE;
    HRESULT STDMETHODCALLTYPE get_Type(NET_FW_PROFILE_TYPE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_FirewallEnabled(VARIANT_BOOL* e) override {
        Log("Profile.get_FirewallEnabled");
        *e = firewallEnabled;
        return enabledResult;
    }
    HRESULT STDMETHODCALLTYPE put_FirewallEnabled(VARIANT_BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_ExceptionsNotAllowed(VARIANT_BOOL* e) override {
        Log("Profile.get_ExceptionsNotAllowed");
        *e = exceptionsNotAllowed;
        return notAllowedResult;
    }
    HRESULT STDMETHODCALLTYPE put_ExceptionsNotAllowed(VARIANT_BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_NotificationsDisabled(VARIANT_BOOL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_NotificationsDisabled(VARIANT_BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_UnicastResponsesToMulticastBroadcastDisabled(VARIANT_BOOL*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE put_UnicastResponsesToMulticastBroadcastDisabled(VARIANT_BOOL) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE get_RemoteAdminSettings(INetFwRemoteAdminSettings**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_IcmpSettings(INetFwIcmpSettings**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_GloballyOpenPorts(INetFwOpenPorts**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Services(INetFwServices**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_AuthorizedApplications(INetFwAuthorizedApplications** out) override {
        Log("Profile.get_AuthorizedApplications");
        if (listResult != S_OK) return listResult;
        *out = list->HandOut();
        return S_OK;
    }
};

struct FakePolicy : Fake<INetFwPolicy> {
    using Fake::Fake;
    FakeProfile* profile = nullptr;
    HRESULT result = S_OK;
    HRESULT STDMETHODCALLTYPE get_CurrentProfile(INetFwProfile** out) override {
        Log("Policy.get_CurrentProfile");
        if (result != S_OK) return result;
        *out = profile->HandOut();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetProfileByType(NET_FW_PROFILE_TYPE, INetFwProfile**) override { return E_NOTIMPL; }
};

struct FakeManager : Fake<INetFwMgr> {
    using Fake::Fake;
    FakePolicy* policy = nullptr;
    HRESULT result = S_OK;
    HRESULT STDMETHODCALLTYPE get_LocalPolicy(INetFwPolicy** out) override {
        Log("Manager.get_LocalPolicy");
        if (result != S_OK) return result;
        *out = policy->HandOut();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_CurrentProfileType(NET_FW_PROFILE_TYPE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RestoreDefaults() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsPortAllowed(BSTR, NET_FW_IP_VERSION, LONG, BSTR, NET_FW_IP_PROTOCOL, VARIANT*,
                                            VARIANT*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE IsIcmpTypeAllowed(NET_FW_IP_VERSION, BSTR, BYTE, VARIANT*, VARIANT*) override {
        return E_NOTIMPL;
    }
};

// The fake firewall that the factory hands out.
struct FakeFirewall {
    FakeManager manager{"Manager"};
    FakePolicy policy{"Policy"};
    FakeProfile profile{"Profile"};
    FakeList list{"List"};
    std::vector<std::unique_ptr<FakeEntry>> created;
    bool managerAvailable = true, entryCreationFails = false;
    int creationAttempts = 0;
    FakeFirewall() {
        manager.policy = &policy;
        policy.profile = &profile;
        profile.list = &list;
    }
};
FakeFirewall* g_firewall = nullptr;

// The ids are Windows' own, from the SDK's netfw.h as in the product (FirewallIds below
// pins them to Windows' numbers). What the fake checks is which class and interface each
// step asks for.
HRESULT WINAPI FakeCreate(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid, void** out) {
    EXPECT_EQ(outer, nullptr);
    EXPECT_EQ(context, static_cast<DWORD>(CLSCTX_INPROC_SERVER));
    *out = nullptr;
    if (IsEqualCLSID(clsid, __uuidof(NetFwMgr)) && IsEqualIID(iid, __uuidof(INetFwMgr))) {
        Log("Create Manager");
        if (!g_firewall->managerAvailable) return REGDB_E_CLASSNOTREG;
        *out = g_firewall->manager.HandOut();
        return S_OK;
    }
    if (IsEqualCLSID(clsid, __uuidof(NetFwAuthorizedApplication)) &&
        IsEqualIID(iid, __uuidof(INetFwAuthorizedApplication))) {
        std::string name = "New" + std::to_string(++g_firewall->creationAttempts);
        Log("Create " + name);
        if (g_firewall->entryCreationFails) return E_ACCESSDENIED;
        g_firewall->created.push_back(std::make_unique<FakeEntry>(name));
        *out = g_firewall->created.back()->HandOut();
        return S_OK;
    }
    ADD_FAILURE() << "unexpected class";
    return E_FAIL;
}

class Firewall : public ::testing::Test {
protected:
    void SetUp() override {
        g_log.clear();
        g_firewall = &fw;
        app.m_processSystem.coCreateInstance = FakeCreate;
    }
    void TearDown() override {
        // Every interface handed out was released exactly once.
        for (long f :
             std::initializer_list<long>{fw.manager.refs(), fw.policy.refs(), fw.profile.refs(), fw.list.refs()})
            EXPECT_EQ(f, 0);
        for (auto& e : fw.created) EXPECT_EQ(e->refs(), 0);
        g_firewall = nullptr;
    }
    FakeFirewall fw;
    CStreamerApp app{L"C:\\Cam\\OrvaneDemo.exe"};
};

using Log_ = std::vector<std::string>;
const Log_ kReadsUntilEnabled = {"Create Manager", "Manager.get_LocalPolicy", "Policy.get_CurrentProfile",
                                 "Profile.get_FirewallEnabled"};

TEST_F(Firewall, OffTouchesNothing) {
    fw.profile.firewallEnabled = VARIANT_FALSE;
    EXPECT_TRUE(app.AuthorizeInFirewall());
    Log_ expected = kReadsUntilEnabled;
    expected.insert(expected.end(), {"Release Profile", "Release Policy", "Release Manager"});
    EXPECT_EQ(g_log, expected);
}

TEST_F(Firewall, AddsTwoEntriesServerFirst) {
    EXPECT_TRUE(app.AuthorizeInFirewall());
    Log_ expected = kReadsUntilEnabled;
    expected.insert(expected.end(), {"Profile.get_ExceptionsNotAllowed",
                                     "Profile.get_AuthorizedApplications",
                                     "List.Item C:\\Cam\\server.dll",
                                     "Create New1",
                                     "New1.put_ProcessImageFileName C:\\Cam\\server.dll",
                                     "New1.put_Name Orvane DEMO (Web Edition)",
                                     "List.Add",
                                     "New1.put_Enabled -1",
                                     "Release New1",
                                     "List.Item C:\\Cam\\orvane.dll",
                                     "Create New2",
                                     "New2.put_ProcessImageFileName C:\\Cam\\orvane.dll",
                                     "New2.put_Name Orvane DEMO (Web Edition)",
                                     "List.Add",
                                     "New2.put_Enabled -1",
                                     "Release New2",
                                     "Release List",
                                     "Release Profile",
                                     "Release Policy",
                                     "Release Manager"});
    EXPECT_EQ(g_log, expected);
    ASSERT_EQ(fw.list.added.size(), 2u);
    EXPECT_EQ(fw.list.added[0]->image, L"C:\\Cam\\server.dll");
    EXPECT_EQ(fw.list.added[1]->image, L"C:\\Cam\\orvane.dll");
    EXPECT_EQ(fw.list.added[1]->enabled, VARIANT_TRUE);
}

TEST_F(Firewall, ExistingEntryIsRenamedAndEnabledOnly) {
    FakeEntry existing("Old");
    existing.name = L"Something else";
    existing.image = L"C:\\Cam\\server.dll";
    fw.list.entries[L"C:\\Cam\\server.dll"] = &existing;
    EXPECT_TRUE(app.AuthorizeInFirewall());
    EXPECT_EQ(existing.name, L"Orvane DEMO (Web Edition)");
    EXPECT_EQ(existing.enabled, VARIANT_TRUE);
    EXPECT_EQ(existing.image, L"C:\\Cam\\server.dll");
    EXPECT_EQ(existing.refs(), 0);
    Log_ tail(g_log.begin() + 6, g_log.begin() + 10);
    EXPECT_EQ(tail, (Log_{"List.Item C:\\Cam\\server.dll", "Old.put_Name Orvane DEMO (Web Edition)",
                          "Old.put_Enabled -1", "Release Old"}));
    EXPECT_EQ(fw.list.added.size(), 1u);  // only the encoder's entry is new
}

TEST_F(Firewall, NoExceptionsAllowedStopsStartUp) {
    fw.profile.exceptionsNotAllowed = VARIANT_TRUE;
    wintest::MessageBoxAnswerer answer;
    EXPECT_FALSE(app.AuthorizeInFirewall());
    wintest::AnsweredBox box = answer.Wait();
    ASSERT_TRUE(box.found);
    EXPECT_EQ(box.caption, app.Title());
    EXPECT_EQ(box.text,
              L"Error: Windows firewall is enabled with no exceptions!\nThis will cause the application being "
              L"blocked from network communication.\nPlease change Windows network firewall settings.");
    Log_ tail(g_log.end() - 3, g_log.end());
    EXPECT_EQ(tail, (Log_{"Release Profile", "Release Policy", "Release Manager"}));
}

TEST_F(Firewall, OnlyExactlyTrueMeansNoExceptions) {
    fw.profile.exceptionsNotAllowed = 1;  // not VARIANT_TRUE (-1)
    EXPECT_TRUE(app.AuthorizeInFirewall());
    EXPECT_EQ(fw.list.added.size(), 2u);
}

TEST_F(Firewall, FailingReadsStopQuietlyWithTheirReleases) {
    fw.managerAvailable = false;
    EXPECT_TRUE(app.AuthorizeInFirewall());
    EXPECT_EQ(g_log, Log_{"Create Manager"});

    fw.managerAvailable = true;
    g_log.clear();
    fw.manager.result = E_ACCESSDENIED;
    EXPECT_TRUE(app.AuthorizeInFirewall());
    EXPECT_EQ(g_log, (Log_{"Create Manager", "Manager.get_LocalPolicy", "Release Manager"}));

    fw.manager.result = S_OK;
    g_log.clear();
    fw.policy.result = S_FALSE;  // a success code that is not S_OK counts as failure
    EXPECT_TRUE(app.AuthorizeInFirewall());
    EXPECT_EQ(g_log, (Log_{"Create Manager", "Manager.get_LocalPolicy", "Policy.get_CurrentProfile", "Release Policy",
                           "Release Manager"}));

    fw.policy.result = S_OK;
    for (HRESULT FakeProfile::*field :
         {&FakeProfile::enabledResult, &FakeProfile::notAllowedResult, &FakeProfile::listResult}) {
        g_log.clear();
        fw.profile.*field = E_FAIL;
        EXPECT_TRUE(app.AuthorizeInFirewall());
        Log_ tail(g_log.end() - 3, g_log.end());
        EXPECT_EQ(tail, (Log_{"Release Profile", "Release Policy", "Release Manager"}));
        fw.profile.*field = S_OK;
    }
    EXPECT_TRUE(fw.list.added.empty());
}

TEST_F(Firewall, RefusedEntryCreationGoesOn) {
    fw.entryCreationFails = true;
    EXPECT_TRUE(app.AuthorizeInFirewall());
    Log_ tail(g_log.begin() + 6, g_log.end());
    EXPECT_EQ(tail, (Log_{"List.Item C:\\Cam\\server.dll", "Create New1", "List.Item C:\\Cam\\orvane.dll",
                          "Create New2", "Release List", "Release Profile", "Release Policy", "Release Manager"}));
}

// The SDK header is the product's only source of these ids: a wrong or changed header
// would make the firewall silently refuse every request, so the numbers are written out.
TEST(FirewallIds, AreWindowsOwn) {
    struct Id {
        GUID guid;
        const wchar_t* text;
    };
    const Id ids[] = {
        {__uuidof(NetFwMgr), L"{304CE942-6E39-40D8-943A-B913C40C9CD4}"},
        {__uuidof(INetFwMgr), L"{F7898AF5-CAC4-4632-A2EC-DA06E5111AF2}"},
        {__uuidof(NetFwAuthorizedApplication), L"{EC9846B3-2762-4A6B-A214-6ACB603462D2}"},
        {__uuidof(INetFwAuthorizedApplication), L"{B5E64FFA-C2C5-444E-A301-FB5E00018050}"},
    };
    for (const Id& id : ids) {
        wchar_t text[40] = {};
        ASSERT_EQ(StringFromGUID2(id.guid, text, 40), 39);
        EXPECT_STREQ(text, id.text);
    }
}

}  // namespace
