#include "packer/pack/product_checks.h"

#include "encoder/lh5_encoder.h"
#include "packer/pack/input_file.h"
#include "packer/stub/pe_image.h"
#include "packer/system/pack_error.h"
#include "packer/system/platform.h"

namespace {

const char kInnerInstaller[] = "DEZAZAZE.exe";
const char kProgram[] = "Morlu.exe";
const char kReleaseNotes[] = "Morlu.txt";

MemberSource* Find(std::vector<MemberSource>& members, const char* name)
{
    for (MemberSource& member : members) {
        if (WindowsNameKey(member.name) == WindowsNameKey(name))
            return &member;
    }
    return nullptr;
}

// Every x86-64 Windows runs i386 programs too.
bool StubCanStart(uint16_t stubMachine, uint16_t machine)
{
    return machine == stubMachine || (stubMachine == kMachineAmd64 && machine == kMachineI386);
}

std::string MachineWords(uint16_t machine)
{
    std::string name = MachineName(machine);
    return (name[0] == 'A' || name[0] == 'I' || name[0] == 'i' || name[0] == 'x' ? "an " : "a ") + name;
}

struct Unrunnable {
    std::string why; // "" when the installer can start the member where its stub runs
    bool otherMachine = false; // a program, but for a machine the stub's systems lack
};

Unrunnable WhyNoProgram(const MemberSource& member, uint16_t stubMachine)
{
    InputFile file;
    std::vector<uint8_t> start(64 << 10);
    size_t filled = 0, got = 1;
    int error = file.Open(member.path);
    while (error == 0 && got > 0 && filled < start.size()) {
        error = file.Read(start.data() + filled, start.size() - filled, &got);
        filled += got;
    }
    if (error != 0)
        throw PackError(member.path + ": " + ErrorText(error), EXIT_FILE_ERROR);
    ProgramInfo program = InspectProgram(start.data(), filled);
    switch (program.kind) {
    case ProgramKind::NotAProgram: return {"not a Windows program"};
    case ProgramKind::DosProgram: return {"an MS-DOS or 16-bit Windows program, not a Win32 one"};
    case ProgramKind::Library: return {"a DLL, not a program"};
    case ProgramKind::OtherSubsystem: return {"a program Windows does not start as an application (a driver or such)"};
    case ProgramKind::Program: break;
    }
    if (StubCanStart(stubMachine, program.machine))
        return {};
    return {MachineWords(program.machine) + " program, but the stub is " + MachineWords(stubMachine) + " one", true};
}

void CheckReleaseNotes(MemberSource& notes, TextEncoding encoding)
{
    std::vector<uint8_t> bytes = ReadInputFile(notes.path, kLh5MaxInput, (int64_t)notes.size).bytes;
    std::string text(bytes.begin(), bytes.end());
    std::string what = notes.path + ": release notes";
    if (encoding == TextEncoding::Utf8) {
        std::string converted = ReleaseNotesFromUtf8(text, what);
        notes.contents = std::make_shared<const std::vector<uint8_t>>(converted.begin(), converted.end());
        return;
    }
    TextForm form = encoding == TextEncoding::Cp932 ? TextForm::Cp932 : DetectTextForm(text);
    std::string why = form == TextForm::Utf8Bom || form == TextForm::Utf8 ? "are UTF-8"
                      : form == TextForm::Utf16                         ? "are UTF-16"
                                                                        : "";
    if (!why.empty())
        throw PackError(what + " " + why + ", which Notepad on a Japanese Windows shows garbled; save them as "
                        "CP932 (Shift_JIS), or add --notes-encoding utf-8 to convert them while packing");
    CheckCp932(text, what + " are not CP932 (Shift_JIS) text");
    notes.contents = std::make_shared<const std::vector<uint8_t>>(std::move(bytes));
}

} // namespace

std::vector<std::string> CheckProduct(std::vector<MemberSource>& members, TextEncoding notesEncoding,
                                      uint16_t stubMachine)
{
    const MemberSource* inner = Find(members, kInnerInstaller);
    if (inner == nullptr)
        throw PackError(std::string("no ") + kInnerInstaller + " among the files to pack: the installer starts it "
                        "after extracting and would fail on the user's PC; add the inner installer (README, "
                        "\"Making your product\")");
    const bool i386 = stubMachine == kMachineI386;
    const std::string where = i386 ? ": on 32-bit Windows, which the stub runs on from Windows 98 on, " : ": ";
    Unrunnable inInner = WhyNoProgram(*inner, stubMachine);
    if (inInner.otherMachine)
        throw PackError(inner->path + ": " + inInner.why + where + "the installer could not start it; build the "
                        "inner installer for " + MachineName(stubMachine) + (i386 ? " (i686-w64-mingw32-gcc)" : ""));
    if (!inInner.why.empty())
        throw PackError(inner->path + ": " + inInner.why + ": the installer starts it after extracting and would "
                        "fail on the user's PC; put the inner installer there (README, \"Making your product\")");
    std::vector<std::string> warnings;
    const MemberSource* program = Find(members, kProgram);
    Unrunnable inProgram = program == nullptr ? Unrunnable() : WhyNoProgram(*program, stubMachine);
    if (program == nullptr)
        warnings.push_back(std::string("no ") + kProgram + " among the files: unless " + kInnerInstaller +
                           " puts one into the install folder, the shortcuts the installer makes point at nothing");
    else if (inProgram.otherMachine)
        warnings.push_back(program->path + ": " + inProgram.why + where +
                           "the installer runs but the program its shortcuts start does not");
    else if (!inProgram.why.empty())
        warnings.push_back(program->path + ": " + inProgram.why + ": the shortcuts the installer makes would start "
                           "nothing");
    MemberSource* notes = Find(members, kReleaseNotes);
    if (notes == nullptr)
        warnings.push_back(std::string("no ") + kReleaseNotes + " among the files: unless " + kInnerInstaller +
                           " puts one into the install folder, the release notes the installer offers at the end "
                           "will not open");
    else
        CheckReleaseNotes(*notes, notesEncoding);
    return warnings;
}
