// Asks the Windows Firewall to admit the two streaming programs.
#include <netfw.h>

#include "app/streamer_app.h"
#include "common/product.h"
#include "framework/com.h"

namespace {

const CLSID kClsidNetFwMgr = {0x304CE942, 0x6E39, 0x40D8, {0x94, 0x3A, 0xB9, 0x13, 0xC4, 0x0C, 0x9C, 0xD4}};
const IID kIidNetFwMgr = {0xF7898AF5, 0xCAC4, 0x4632, {0xA2, 0xEC, 0xDA, 0x06, 0xE5, 0x11, 0x1A, 0xF2}};
const CLSID kClsidNetFwAuthorizedApplication = {0xEC9846B3, 0x2762, 0x4A6B, {0xA2, 0x14, 0x6A, 0xCB, 0x60, 0x34, 0x62, 0xD2}};
const IID kIidNetFwAuthorizedApplication = {0xB5E64FFA, 0xC2C5, 0x444E, {0xA3, 0x01, 0xFB, 0x5E, 0x00, 0x01, 0x80, 0x50}};

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
        if (sys.coCreateInstance(kClsidNetFwAuthorizedApplication, nullptr, CLSCTX_INPROC_SERVER,
                                 kIidNetFwAuthorizedApplication, reinterpret_cast<void**>(entry.put())) != S_OK ||
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

    if (m_processSystem.coCreateInstance(kClsidNetFwMgr, nullptr, CLSCTX_INPROC_SERVER, kIidNetFwMgr,
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
    serverPath = fw::SharedBstr(m_serverPath);
    AuthorizeProgram(m_processSystem, list.get(), serverPath);
    encoderPath = fw::SharedBstr(m_encoderPath);
    AuthorizeProgram(m_processSystem, list.get(), encoderPath);
    return true;
}
