// The fixture of the tests that run morlu-pack build: a product folder with
// the demo's programs, the shipping stub, and the program run on them.
#pragma once
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "pack_test_support.h"
#include "packer/system/cp932_text.h"

class Build : public ::testing::Test {
protected:
    void SetUp() override
    {
        chmod(temp_.Path().c_str(), 0777); // for the run as another user
        mkdir(In().c_str(), 0755);
        // The demo's i386 programs, made larger by data behind their image.
        ASSERT_TRUE(Exists(DemoProgram("win32", "DEZAZAZE.exe"))) << "the demo product is not built (scripts/build)";
        WriteBytes(In() + "/DEZAZAZE.exe",
                   Joined(ReadBytes(DemoProgram("win32", "DEZAZAZE.exe")), BinaryBytes(300000, 1)));
        WriteBytes(In() + "/Morlu.txt", Notes());
        WriteBytes(In() + "/empty.dat", {});
        WriteBytes(In() + "/Morlu.exe", Joined(ReadBytes(DemoProgram("win32", "Morlu.exe")), RandomBytes(20000, 3)));
        WriteBytes(In() + "/設定.ini", TextBytes(100, 4));
        ASSERT_FALSE(ShippingStub().empty()) << "build/win32/setup-stub.exe is not built (scripts/build)";
        WriteBytes(Stub(), ReadBytes(ShippingStub()));
    }

    static std::string DemoProgram(const std::string& build, const std::string& name)
    {
        return std::string(MORLU_SOURCE_DIR) + "/build/" + build + "/demo-product/" + name;
    }

    static Bytes Joined(Bytes first, const Bytes& second)
    {
        first.insert(first.end(), second.begin(), second.end());
        return first;
    }

    // Release notes as the installer wants them: code page 932.
    static Bytes Notes()
    {
        Bytes utf8 = TextBytes(50000, 2);
        return BytesOf(Cp932FromUtf8(std::string(utf8.begin(), utf8.end()), "notes"));
    }

    std::string In() const { return temp_ / "in"; }
    std::string Stub() const { return temp_ / "stub.exe"; }
    std::string Out() const { return temp_ / "setup.exe"; }
    std::string Path(const std::string& name) const { return temp_ / name; }

    RunResult Pack(std::vector<std::string> extra, std::vector<std::string> paths = {})
    {
        std::vector<std::string> argv = {MorluPack(), "build"};
        argv.insert(argv.end(), extra.begin(), extra.end());
        if (paths.empty())
            paths.push_back(In());
        argv.insert(argv.end(), paths.begin(), paths.end());
        return RunProgram(argv);
    }

    RunResult PackDefault(std::vector<std::string> extra = {}, std::vector<std::string> paths = {})
    {
        std::vector<std::string> args = {"--stub", Stub(), "--version", "1.10", "-o", Out()};
        args.insert(args.end(), extra.begin(), extra.end());
        return Pack(args, paths);
    }

    TempDir temp_;
};

struct BadInput {
    const char* what;
    int exitCode;
    const char* message; // part of what standard error must say
};

class BuildRefuses : public Build {
protected:
    void ExpectRefused(const RunResult& run, const BadInput& bad)
    {
        EXPECT_EQ(run.exitCode, bad.exitCode) << bad.what << ": " << run.err;
        EXPECT_NE(run.err.find(bad.message), std::string::npos) << bad.what << ": " << run.err;
        EXPECT_EQ(run.err.find("morlu-pack: "), 0u) << bad.what << ": " << run.err;
        EXPECT_FALSE(Exists(Out())) << bad.what;
        std::vector<std::string> listing = Listing(temp_.Path());
        for (const std::string& name : listing)
            EXPECT_EQ(name.find(".setup.exe."), std::string::npos) << bad.what << ": temporary " << name << " left";
    }
};

// Tools the branding and signing tests run, as a publisher's pipeline would.
inline bool HaveTools(std::initializer_list<const char*> programs)
{
    for (const char* program : programs) {
        if (!HaveProgram(program)) {
            ADD_FAILURE() << program << " is not installed (scripts/install-deps installs it)";
            return false;
        }
    }
    return true;
}
