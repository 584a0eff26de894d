// Asks the Windows Firewall to admit the two streaming programs. The classes and
// interfaces are Windows' own: their ids come from the SDK's netfw.h (__uuidof).
#include <netfw.h>

#include "app/streamer_app.h"
#include "common/product.h"
#include "framework/com.h"

namespace {

void GiveEntryOurName(INetFwAuthorizedApplication* entry) {
    fw::SharedBstr title(kProductTitle);
    entry->put_Name(title.get());
}

// Finds the program's entry, or makes and adds a new one; then enables it.
void AuthorizeProgram(const ProcessSystem& sys, INetFwAuthorizedApplications* list, const fw::SharedBstr& path) {
    fw::ComPtr<INetFwAuthorizedApplication> entry;
    if (list->Item(path.get(), entry.put()) == S_OK && entry) {
        GiveEntryOurName(entry.get());
    } else {
        entry.reset();
        if (sys.coCreateInstance(__uuidof(NetFwAuthorizedApplication), nullptr, CLSCTX_INPROC_SERVER,
                                 __uuidof(INetFwAuthorizedApplication),
                                 reinterpret_cast<void**>(entry.put())) != S_OK ||
            !entry) {
            entry.reset();
            return;
        }
        entry->put_ProcessImageFileName(path.get());
        GiveEntryOurName(entry.get());
        list->Add(entry.get());
    }
    entry->put_Enabled(VARIANT_TRUE);
}

}  // namespace

bool CStreamerApp::AuthorizeInFirewall() {
    // Declared in the reverse of the release order: the interfaces go first (list,
    // profile, policy, manager), then the encoder's path copy, then the server's.
    fw::SharedBstr serverPath, encoderPath;
    fw::ComPtr<INetFwMgr> manager;
    fw::ComPtr<INetFwPolicy> policy;
    fw::ComPtr<INetFwProfile> profile;
    fw::ComPtr<INetFwAuthorizedApplications> list;

    if (m_processSystem.coCreateInstance(__uuidof(NetFwMgr), nullptr, CLSCTX_INPROC_SERVER, __uuidof(INetFwMgr),
                                         reinterpret_cast<void**>(manager.put())) != S_OK ||
        !manager) {
        manager.reset();
        return true;
    }
    if (manager->get_LocalPolicy(policy.put()) != S_OK || !policy) {
        policy.reset();
        return true;
    }
    if (policy->get_CurrentProfile(profile.put()) != S_OK || !profile) {
        profile.reset();
        return true;
    }
    VARIANT_BOOL enabled = VARIANT_FALSE;
    if (profile->get_FirewallEnabled(&enabled) != S_OK || enabled == VARIANT_FALSE) return true;
    VARIANT_BOOL notAllowed = VARIANT_FALSE;
    if (profile->get_ExceptionsNotAllowed(&notAllowed) != S_OK) return true;
    if (notAllowed == VARIANT_TRUE) {
        fw::MessageBoxForApp(
            L"Error: Windows firewall is enabled with no exceptions!\n"
            L"This will cause the application being blocked from network communication.\n"
            L"Please change Windows network firewall settings.");
        return false;
    }
    if (profile->get_AuthorizedApplications(list.put()) != S_OK || !list) {
        list.reset();
        return true;
    }
    serverPath = fw::SharedBstr(m_serverPath.c_str());
    AuthorizeProgram(m_processSystem, list.get(), serverPath);
    encoderPath = fw::SharedBstr(m_encoderPath.c_str());
    AuthorizeProgram(m_processSystem, list.get(), encoderPath);
    return true;
}
