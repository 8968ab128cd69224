// The example product as a publisher ships it: packed with an icon and
// version information, then signed. Windows reads both from the signed
// installer, and the installer still installs with the README's example
// inner installer.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <windows.h>

#include "installer_run.h"
#include "window_probe.h"

namespace {

const char kSetup[] = MORLU_BUILD_DIR "\\example-setup.exe";
const char kProduct[] = MORLU_BUILD_DIR "\\example-product";

std::string VersionString(const std::vector<char>& info, const char* key)
{
    std::string query = std::string("\\StringFileInfo\\041104B0\\") + key;
    char* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(info.data(), query.c_str(), (void**)&value, &length))
        return "(none)";
    return value;
}

TEST(Publisher, WindowsReadsTheIconAndVersionInformationOfTheSignedInstaller)
{
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(kSetup, &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoA(kSetup, 0, size, info.data()));
    EXPECT_EQ(VersionString(info, "ProductName"), "モルル2");
    EXPECT_EQ(VersionString(info, "FileDescription"), "Morlu2 セットアップ");
    EXPECT_EQ(VersionString(info, "CompanyName"), "Morlu");
    EXPECT_EQ(VersionString(info, "LegalCopyright"), "(C) Morlu");
    EXPECT_EQ(VersionString(info, "ProductVersion"), "2.0");
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", (void**)&fixed, &length));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00020000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00010007u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00020000u);

    EXPECT_EQ(ExtractIconExA(kSetup, -1, NULL, NULL, 0), 1u) << "one icon group";
    HMODULE module = LoadLibraryExA(kSetup, NULL, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    HRSRC group = FindResourceA(module, MAKEINTRESOURCEA(1), (LPCSTR)RT_GROUP_ICON);
    ASSERT_NE(group, nullptr);
    int id = LookupIconIdFromDirectoryEx((PBYTE)LockResource(LoadResource(module, group)), TRUE, 32, 32, 0);
    HRSRC image = FindResourceA(module, MAKEINTRESOURCEA(id), (LPCSTR)RT_ICON);
    ASSERT_NE(image, nullptr);
    HICON icon = CreateIconFromResourceEx((PBYTE)LockResource(LoadResource(module, image)),
                                          SizeofResource(module, image), TRUE, 0x00030000, 32, 32, 0);
    EXPECT_NE(icon, nullptr) << "the icon's image decodes";
    DestroyIcon(icon);
    FreeLibrary(module);
}

Bytes FileBytes(const std::string& path)
{
    Bytes bytes;
    EXPECT_TRUE(ReadFileBytes(path, &bytes)) << path;
    return bytes;
}

TEST(Publisher, TheSignedInstallerInstallsWithTheExampleInnerInstaller)
{
    const std::string installed = SpecialFolder(CSIDL_PROGRAM_FILES) + "\\Morlu2";
    auto cleanUp = [&] {
        RemoveTree(installed);
        for (const std::string& link : DemoShortcuts())
            DeleteFileA(link.c_str());
    };
    cleanUp();
    InstallerRun run("publisher-example", FileBytes(kSetup));
    ASSERT_TRUE(run.Start());
    HWND dialog = WaitForWindow(run.processId(), IsShortcutDialog, 30000);
    ASSERT_NE(dialog, nullptr) << "the inner installer reported its folder";
    ASSERT_TRUE(Answer(dialog, IDCANCEL)); // OK: both shortcuts
    HWND question = run.WaitForMessageBox();
    ASSERT_NE(question, nullptr);
    EXPECT_EQ(ReadMessageBox(question).caption, "Morlu2 2.0 のｲﾝｽﾄｰﾙ");
    PressButton(question, IDNO);
    EXPECT_EQ(run.WaitForExit(), 0u);
    EXPECT_TRUE(run.TempEntries().empty()) << "the work folder is gone";

    for (const char* name : {"Morlu.exe", "Morlu.txt"})
        EXPECT_TRUE(FileBytes(installed + "\\" + name) == FileBytes(std::string(kProduct) + "\\" + name)) << name;
    EXPECT_EQ(GetFileAttributesA((installed + "\\DEZAZAZE.exe").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(GetFileAttributesA((SpecialFolder(CSIDL_DESKTOPDIRECTORY) + "\\Morlu2.lnk").c_str()),
              INVALID_FILE_ATTRIBUTES);
    cleanUp();
}

} // namespace
