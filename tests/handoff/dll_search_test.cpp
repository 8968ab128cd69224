// Whole installs with DLLs planted where Windows looks first for a DLL that
// is not a KnownDLL: beside the installer (a Downloads folder) and in its
// current folder. Wine looks there too for a DLL set native-first, as
// WINEDLLOVERRIDES name=n,b does; a Windows parent cannot hand that variable
// to its child, so the overrides go to the installer's own registry key.
#include <gtest/gtest.h>

#include "demo_installers.h"
#include "installer_run.h"
#include "window_probe.h"

namespace {

// Every DLL a whole run loads by name after its start (WINEDEBUG=+loaddll),
// comctl32 among them, and those Windows loads for the same steps.
const char* const kPlanted[] = {"uxtheme", "msimg32", "comctl32", "dwmapi", "apphelp", "propsys",
                                "userenv", "profapi", "cryptbase", "sspicli", "linkinfo", "ntshrui",
                                "cscapi",  "oleacc",  "clbcatq",  "setupapi"};

class DllSearch : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(ReadFileBytes(MORLU_BUILD_DIR "\\planted.dll", &planted_));
        for (const std::string& link : DemoShortcuts())
            DeleteFileA(link.c_str());
    }
    void TearDown() override
    {
        std::string key = AppKey();
        run_.reset();
        if (!key.empty()) {
            RegDeleteKeyA(HKEY_CURRENT_USER, (key + "\\DllOverrides").c_str());
            RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str());
        }
        for (const std::string& link : DemoShortcuts())
            DeleteFileA(link.c_str());
        if (HWND notepad = FindNotepadShowing("Morlu.txt"))
            PostMessageA(notepad, WM_CLOSE, 0, 0);
    }

    std::string AppKey() const
    {
        if (!run_)
            return "";
        const std::string& program = run_->programPath();
        return "Software\\Wine\\AppDefaults\\" + program.substr(program.rfind('\\') + 1);
    }

    // Puts the planted DLL into the folder under each name, sets each
    // native-first for the installer and starts it.
    void PlantAndStart(const std::string& folder, const std::vector<std::string>& names)
    {
        HKEY overrides;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, (AppKey() + "\\DllOverrides").c_str(), 0,
                                                 NULL, 0, KEY_WRITE, NULL, &overrides, NULL));
        for (const std::string& name : names) {
            EXPECT_TRUE(WriteFileBytes(folder + "\\" + name + ".dll", planted_));
            RegSetValueExA(overrides, name.c_str(), 0, REG_SZ, (const BYTE*)"native,builtin", 15);
        }
        RegCloseKey(overrides);
        ASSERT_TRUE(run_->Start());
    }

    // Confirmation, extraction, inner installer, shortcuts, release notes.
    void InstallWithDllsIn(const std::string& name, bool besideInstaller)
    {
        DemoInstaller demo = LoadDemoInstaller();
        demo.message = "OK を押すとｲﾝｽﾄｰﾙを始めます｡";
        run_.reset(new InstallerRun(name, Bytes()));
        AddControlFile(&demo, "folder=" + run_->folder() + "\\installed\n");
        ASSERT_TRUE(WriteFileBytes(run_->programPath(), ImageOf(demo)));
        plantedIn_ = run_->folder();
        if (!besideInstaller) {
            plantedIn_ += "\\current";
            CreateDirectoryA(plantedIn_.c_str(), NULL);
            run_->SetCurrentFolder(plantedIn_);
        }
        PlantAndStart(plantedIn_, std::vector<std::string>(std::begin(kPlanted), std::end(kPlanted)));

        HWND confirmation = run_->WaitForMessageBox();
        ASSERT_NE(confirmation, nullptr);
        ASSERT_TRUE(Answer(confirmation, IDOK));
        HWND dialog = WaitForWindow(run_->processId(), IsShortcutDialog, 30000);
        ASSERT_NE(dialog, nullptr);
        ASSERT_TRUE(Answer(dialog, IDCANCEL)); // its OK button
        HWND question = run_->WaitForMessageBox();
        ASSERT_NE(question, nullptr);
        PressButton(question, IDYES);
        EXPECT_EQ(run_->WaitForExit(), 0u);
        EXPECT_EQ(DemoShortcuts().size(), 2u);
        for (DWORD begun = GetTickCount(); GetTickCount() - begun < WaitLimit(10000); Sleep(50)) {
            if (FindNotepadShowing("Morlu.txt") != NULL)
                break;
        }
        EXPECT_NE(FindNotepadShowing("Morlu.txt"), nullptr);
    }

    // The planted DLLs whose DllMain ran.
    std::vector<std::string> Marks()
    {
        std::vector<std::string> marks;
        for (const std::string& entry : FolderEntries(plantedIn_)) {
            if (entry.size() > 7 && entry.compare(entry.size() - 7, 7, ".loaded") == 0)
                marks.push_back(entry);
        }
        return marks;
    }

    Bytes planted_;
    std::string plantedIn_;
    std::unique_ptr<InstallerRun> run_;
};

// Wine's own start of a process loads imm32 for any program, from beside it
// when set native-first: the overrides reach the installer and a planted
// DLL leaves its mark (wine then falls back to its own imm32).
TEST_F(DllSearch, PlantedDllLeavesAMarkWhereWineLoadsIt)
{
    run_.reset(new InstallerRun("dll-search-control", StubImage()));
    plantedIn_ = run_->folder();
    PlantAndStart(plantedIn_, {"imm32"});
    EXPECT_NE(run_->WaitForMessageBox(), nullptr); // its file carries no payload
    EXPECT_EQ(Marks(), std::vector<std::string>{"imm32.dll.loaded"});
}

TEST_F(DllSearch, NoDllBesideTheInstallerLoads)
{
    InstallWithDllsIn("dll-search-beside", true);
    EXPECT_EQ(Marks(), std::vector<std::string>{});
}

TEST_F(DllSearch, NoDllInTheCurrentFolderLoads)
{
    InstallWithDllsIn("dll-search-current", false);
    EXPECT_EQ(Marks(), std::vector<std::string>{});
}

} // namespace
