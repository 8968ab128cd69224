// The mistakes publishers really make, each caught with words that say what
// to do: morlu-pack build run on real files, as a publisher runs it.
#include <gtest/gtest.h>

#include "build_fixture.h"

namespace {

class PublisherMistake : public BuildRefuses {};

// Only a program of the stub's machine starts where the installer runs: the
// i386 stub promises 32-bit Windows, which run no x86-64 program.
TEST_F(PublisherMistake, AnInnerInstallerTheInstallerCannotStart)
{
    WriteBytes(In() + "/DEZAZAZE.exe", BytesOf("hello\n"));
    ExpectRefused(PackDefault(), {"text file", 2, "in/DEZAZAZE.exe: not a Windows program: the installer starts it"});
    WriteBytes(In() + "/DEZAZAZE.exe", ReadBytes(DemoProgram("win64", "DEZAZAZE.exe")));
    ExpectRefused(PackDefault(), {"x86-64 program", 2,
                                  "in/DEZAZAZE.exe: an x86-64 program, but the stub is an i386 one: on 32-bit Windows"});

    // The x86-64 stub's systems run both.
    WriteBytes(Stub(), ReadBytes(std::string(MORLU_SOURCE_DIR) + "/build/win64/setup-stub.exe"));
    RunResult both = PackDefault();
    EXPECT_EQ(both.exitCode, 0) << both.err;
    EXPECT_EQ(both.err, "");
}

TEST_F(PublisherMistake, AProgramTheShortcutsCannotStart)
{
    WriteBytes(In() + "/Morlu.exe", ReadBytes(DemoProgram("win64", "Morlu.exe")));
    RunResult run = PackDefault();
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("morlu-pack: warning: " + In() + "/Morlu.exe: an x86-64 program, but the stub is an i386 "
                           "one: on 32-bit Windows"),
              std::string::npos)
        << run.err;
    Bytes dos = BytesOf("MZ");
    dos.resize(512);
    WriteBytes(In() + "/Morlu.exe", dos);
    run = PackDefault();
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("Morlu.exe: an MS-DOS or 16-bit Windows program"), std::string::npos) << run.err;
}

} // namespace
