#include "packer/pack/installer_assembly.h"

#include <algorithm>

#include "packer/pack/container_writer.h"
#include "packer/pack/input_file.h"
#include "packer/pack/installer_verifier.h"
#include "packer/pack/member_list.h"
#include "packer/pack/output_file.h"
#include "packer/pack/parallel_pack.h"
#include "packer/pack/product_checks.h"
#include "packer/stub/pe_image.h"
#include "packer/stub/stub_image.h"
#include "packer/system/pack_error.h"
#include "packer/system/platform.h"

static std::string VersionField(const std::string& utf8)
{
    try {
        std::string text = Cp932FromUtf8(utf8, "version text");
        CheckVersionText(text);
        return text;
    } catch (const PackError& e) {
        throw PackError(e.what(), EXIT_USAGE);
    }
}

// A confirmation text longer than this is surely the wrong file.
const uint64_t kMaxMessageFile = 1 << 20;
// Icons of every size Windows shows, as PNG, take well under this.
const uint64_t kMaxIconFile = 16 << 20;

static std::string MessageText(const std::string& path, TextEncoding encoding)
{
    std::vector<uint8_t> bytes = ReadInputFile(path, kMaxMessageFile).bytes;
    std::string text(bytes.begin(), bytes.end());
    if (text.empty() || text == "\xEF\xBB\xBF")
        throw PackError(path + ": message text is empty");
    std::string converted = Cp932FromFile(text, encoding, path + ": message text");
    try {
        CheckMessageText(converted);
    } catch (const PackError& e) {
        throw PackError(path + ": " + e.what());
    }
    return converted;
}

static std::vector<uint8_t> StubImage(const InstallerInputs& inputs)
{
    std::vector<uint8_t> stub = ReadInputFile(inputs.stub, kMaxInstaller).bytes;
    Branding branding;
    branding.versionStrings = inputs.versionStrings;
    branding.executionLevel = inputs.executionLevel;
    if (!inputs.icon.empty()) {
        std::vector<uint8_t> icon = ReadInputFile(inputs.icon, kMaxIconFile).bytes;
        try {
            branding.icon = ParseIconFile(icon);
        } catch (const PackError& e) {
            throw PackError(inputs.icon + ": " + e.what());
        }
    }
    try {
        CheckStub(stub);
        return BrandStub(stub, branding);
    } catch (const PackError& e) {
        throw PackError(inputs.stub + ": " + e.what(), e.Code());
    }
}

// Refuses an output that cannot be made, before the work of packing: its folder
// must exist, and it must not replace any file the command line names.
static void CheckOutput(const InstallerInputs& inputs, const std::vector<MemberSource>& members)
{
    const std::string& output = inputs.output;
    std::string folder = NameStart(output) == 0 ? "." : TrimSeparators(output.substr(0, NameStart(output)));
    FileStatus status;
    if (int error = StatusOf(folder, &status))
        throw PackError(output + ": folder " + folder + ": " + ErrorText(error), EXIT_FILE_ERROR);
    if (status.kind != FileKind::Folder)
        throw PackError(output + ": " + folder + " is not a folder", EXIT_FILE_ERROR);
    if (StatusOf(output, &status) != 0)
        return;
    if (status.kind == FileKind::Folder)
        throw PackError(output + ": is a folder", EXIT_FILE_ERROR);
    auto refuseIfSame = [&](const std::string& path, const char* what) {
        FileStatus other;
        if (StatusOf(path, &other) == 0 && other.volume == status.volume && other.index == status.index)
            throw PackError(output + ": is " + what + path + "; the installer would replace it", EXIT_USAGE);
    };
    refuseIfSame(inputs.stub, "the stub ");
    if (!inputs.icon.empty())
        refuseIfSame(inputs.icon, "the icon ");
    if (!inputs.message.empty())
        refuseIfSame(inputs.message, "the message file ");
    for (const MemberSource& member : members)
        refuseIfSame(member.path, "the input ");
}

AssembledInstaller AssembleInstaller(const InstallerInputs& inputs, const AssemblyReport& report)
{
    std::string versionText = VersionField(inputs.version);
    std::string message = inputs.message.empty() ? "" : MessageText(inputs.message, inputs.messageEncoding);
    std::vector<std::string> warnings;
    std::string overflow = MessageOverflow(message);
    if (!overflow.empty())
        warnings.push_back(inputs.message + ": " + overflow);
    std::vector<uint8_t> stub = StubImage(inputs);
    const uint16_t stubMachine = InspectProgram(stub.data(), stub.size()).machine;
    InstallerImage image = StartInstallerImage(stub);
    std::vector<MemberSource> members = CollectMembers(inputs.paths, inputs.excludes, inputs.output, &warnings);
    if (inputs.clampTimes) {
        for (MemberSource& member : members)
            member.modified = std::min(member.modified, inputs.sourceDateEpoch);
    }
    CheckOutput(inputs, members);
    for (const std::string& warning : CheckProduct(members, inputs.notesEncoding, stubMachine))
        warnings.push_back(warning);
    for (const std::string& warning : warnings)
        report.warn(warning);
    uint64_t total = 0;
    for (const MemberSource& member : members)
        total += member.PackedSize();
    const uint64_t messageBytes = message.empty() ? 0 : message.size() + 1;
    auto checkSize = [&inputs](uint64_t size, const std::string& packedSoFar) {
        try {
            CheckInstallerSize(size, packedSoFar);
        } catch (const PackError& e) {
            throw PackError(inputs.output + ": " + e.what());
        }
    };
    // The size if no member shrank, which stored members never do: told
    // before any member is packed.
    uint64_t unpacked = image.bytes.size() + 1 + messageBytes;
    for (const MemberSource& member : members)
        unpacked += kLevel1HeaderBytes + member.name.size() + member.PackedSize();
    if (inputs.method == PackMethod::Lh0)
        checkSize(unpacked, "");

    OutputFile out(inputs.output);
    out.Write(image.bytes.data(), image.bytes.size());
    ArchiveWriter writer([&out](const uint8_t* bytes, size_t size) { out.Write(bytes, size); });
    std::vector<std::vector<uint8_t>> headers;
    report.packingStarts(total);
    PackInOrder(
        members, inputs.method,
        [&](size_t i, const PackedFile& file) {
            const MemberSource& member = members[i];
            // Packing stops once the installer is sure to be too large.
            uint64_t body = file.packed.compressed ? file.packed.stream.size() : file.size;
            bool last = i + 1 == members.size();
            checkSize(image.bytes.size() + writer.Size() + file.header.size() + body + 1 + messageBytes,
                      last ? "" : std::to_string(i + 1) + " of " + std::to_string(members.size()) + " members packed");
            writer.Add(member.name, file.stored.data(), file.size, member.modified, file.packed);
            headers.push_back(file.header);
        },
        report.packed, inputs.jobs);
    writer.Finish();
    std::vector<uint8_t> header =
        PayloadHeaderBytes(image.headerOffset, writer.Size(), versionText, message, (int32_t)writer.MemberCount());
    std::vector<uint8_t> trailer = MessageTrailer(message);
    out.Write(trailer.data(), trailer.size());
    out.WriteAt(image.headerOffset, header.data(), header.size());
    out.ReadBack([&headers](const uint8_t* bytes, size_t size) { VerifyInstallerLayout(bytes, size, headers); });
    report.packingEnds();
    out.Commit();

    AssembledInstaller made;
    made.members = members.size();
    made.inputBytes = total;
    made.archiveBytes = writer.Size();
    return made;
}

