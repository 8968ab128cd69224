#include "packer/pack/product_checks.h"

#include "encoder/lh5_encoder.h"
#include "packer/system/pack_error.h"

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

std::vector<std::string> CheckProduct(std::vector<MemberSource>& members, TextEncoding notesEncoding)
{
    if (Find(members, kInnerInstaller) == nullptr)
        throw PackError(std::string("no ") + kInnerInstaller + " among the files to pack: the installer starts it "
                        "after extracting and would fail on the user's PC; add the inner installer (README, "
                        "\"Making your product\")");
    std::vector<std::string> warnings;
    if (Find(members, kProgram) == nullptr)
        warnings.push_back(std::string("no ") + kProgram + " among the files: unless " + kInnerInstaller +
                           " puts one into the install folder, the shortcuts the installer makes point at nothing");
    MemberSource* notes = Find(members, kReleaseNotes);
    if (notes == nullptr)
        warnings.push_back(std::string("no ") + kReleaseNotes + " among the files: unless " + kInnerInstaller +
                           " puts one into the install folder, the release notes the installer offers at the end "
                           "will not open");
    else
        CheckReleaseNotes(*notes, notesEncoding);
    return warnings;
}
