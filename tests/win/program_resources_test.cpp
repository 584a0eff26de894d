// What Windows reads from the three built programs before running them: the manifest
// (no file virtualisation, the supported Windows versions, DPI awareness for the panel)
// and the version information shown by the firewall's prompt and Task Manager.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "toolkit/files.h"

namespace {

std::wstring BuildDir() { return wintest::ModuleDir() + L"\\..\\.."; }

std::string ManifestOf(const std::wstring& path) {
    HMODULE module = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module) return "(cannot load)";
    std::string text = "(no manifest)";
    if (HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24))) {  // RT_MANIFEST
        const char* data = static_cast<const char*>(::LockResource(::LoadResource(module, found)));
        if (data) text.assign(data, ::SizeofResource(module, found));
    }
    ::FreeLibrary(module);
    return text;
}

struct Version {
    std::wstring block;  // the version information, empty when there is none
    VS_FIXEDFILEINFO fixed = {};
    std::wstring Text(const wchar_t* name) const {
        void* value = nullptr;
        UINT size = 0;
        std::wstring key = std::wstring(L"\\StringFileInfo\\040904b0\\") + name;
        if (block.empty() || !::VerQueryValueW(block.data(), key.c_str(), &value, &size)) return L"(none)";
        return static_cast<const wchar_t*>(value);
    }
};

Version VersionOf(const std::wstring& path) {
    Version v;
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) return v;
    v.block.assign(size / sizeof(wchar_t) + 1, L'\0');
    if (!::GetFileVersionInfoW(path.c_str(), 0, size, &v.block[0])) {
        v.block.clear();
        return v;
    }
    void* fixed = nullptr;
    UINT fixedSize = 0;
    if (::VerQueryValueW(v.block.data(), L"\\", &fixed, &fixedSize) && fixedSize >= sizeof v.fixed)
        v.fixed = *static_cast<const VS_FIXEDFILEINFO*>(fixed);
    return v;
}

}  // namespace

TEST(ProgramResources, EachProgramHasItsManifestAndVersion) {
    struct Program {
        const wchar_t* path;
        const wchar_t* description;
        const wchar_t* fileName;
        bool panel;
    };
    const Program programs[] = {
        {L"\\app\\OrvaneDemo.exe", L"Orvane DEMO (Web Edition)", L"OrvaneDemo.exe", true},
        {L"\\programs\\server\\server.dll", L"Orvane DEMO streaming server", L"server.dll", false},
        {L"\\programs\\encoder\\orvane.dll", L"Orvane DEMO camera encoder", L"orvane.dll", false},
    };
    const char* supportedOS[] = {
        "{e2011457-1546-43c5-a5fe-008deee3d3f0}",  // Vista
        "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  // 7
        "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  // 8
        "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  // 8.1
        "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  // 10 and 11
    };
    for (const Program& p : programs) {
        const std::wstring path = BuildDir() + p.path;
        SCOPED_TRACE(std::string(path.begin(), path.end()));
        const std::string manifest = ManifestOf(path);
        EXPECT_NE(manifest.find("<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>"), std::string::npos)
            << manifest;
        for (const char* id : supportedOS)
            EXPECT_NE(manifest.find(std::string("<supportedOS Id=\"") + id + "\"/>"), std::string::npos) << id;
        const bool dpiAware = manifest.find("WindowsSettings\">true</dpiAware>") != std::string::npos;
        const bool commonControls = manifest.find("Microsoft.Windows.Common-Controls") != std::string::npos;
        EXPECT_EQ(dpiAware, p.panel);
        EXPECT_EQ(commonControls, p.panel);

        const Version v = VersionOf(path);
        ASSERT_FALSE(v.block.empty()) << "no version information";
        EXPECT_EQ(v.fixed.dwFileVersionMS, 0x00010000u);  // 1.0
        EXPECT_EQ(v.fixed.dwFileVersionLS, 0x00000001u);  // .0.1
        EXPECT_EQ(v.fixed.dwProductVersionMS, 0x00010000u);
        EXPECT_EQ(v.fixed.dwProductVersionLS, 0x00000001u);
        EXPECT_EQ(v.Text(L"FileVersion"), L"1.0.0.1");
        EXPECT_EQ(v.Text(L"ProductVersion"), L"1.0.0.1");
        EXPECT_EQ(v.Text(L"ProductName"), L"Orvane DEMO (Web Edition)");
        EXPECT_EQ(v.Text(L"FileDescription"), p.description);
        EXPECT_EQ(v.Text(L"OriginalFilename"), p.fileName);
    }
}
