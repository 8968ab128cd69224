#include "packer/stub/stub_image.h"

#include <algorithm>
#include <cstring>

#include "container/payload_container.h"
#include "packer/stub/execution_level.h"
#include "packer/stub/pe_image.h"
#include "packer/system/pack_error.h"

namespace {

// As resources/installer.rc writes it: the stub takes containers of this format.
const char kMarkerName[] = "MORLU2STUB";
const char kMarkerText[] = "Morlu2 installer stub; payload container 1";

bool IsMarker(const Resource& r)
{
    const std::u16string name(kMarkerName, kMarkerName + strlen(kMarkerName));
    return r.type.name.empty() && r.type.id == kResourceRcData && r.name.name == name;
}

bool IsGroupIcon(const Resource& r)
{
    return r.type.name.empty() && r.type.id == kResourceGroupIcon;
}

bool IsType(const Resource& r, uint16_t type)
{
    return r.type.name.empty() && r.type.id == type;
}

void ReplaceIcon(std::vector<Resource>& resources, const std::vector<IconImage>& icon)
{
    auto group = std::find_if(resources.begin(), resources.end(), IsGroupIcon);
    Resource replacement;
    replacement.type.id = kResourceGroupIcon;
    replacement.name.id = 1;
    replacement.language = kLanguageJapanese;
    if (group != resources.end()) {
        replacement.name = group->name;
        replacement.language = group->language;
        // Its images go too, unless another group shows them.
        std::vector<uint16_t> old = IconGroupMembers(group->data);
        resources.erase(group);
        for (const Resource& other : resources) {
            if (IsGroupIcon(other)) {
                for (uint16_t id : IconGroupMembers(other.data))
                    old.erase(std::remove(old.begin(), old.end(), id), old.end());
            }
        }
        resources.erase(std::remove_if(resources.begin(), resources.end(),
                                       [&](const Resource& r) {
                                           return IsType(r, kResourceIcon) && r.name.name.empty() &&
                                                  std::find(old.begin(), old.end(), r.name.id) != old.end();
                                       }),
                        resources.end());
    }
    uint32_t firstId = 1;
    for (const Resource& r : resources) {
        if (IsType(r, kResourceIcon) && r.name.name.empty())
            firstId = std::max<uint32_t>(firstId, r.name.id + 1u);
    }
    if (firstId + icon.size() > 0xFFFF)
        throw PackError("the stub has no free icon ids left");
    for (size_t i = 0; i < icon.size(); ++i) {
        Resource image;
        image.type.id = kResourceIcon;
        image.name.id = (uint16_t)(firstId + i);
        image.language = replacement.language;
        image.data = icon[i].data;
        resources.push_back(image);
    }
    replacement.data = IconGroupResource(icon, (uint16_t)firstId);
    resources.push_back(replacement);
}

void ReplaceVersion(std::vector<Resource>& resources, const VersionStrings& strings)
{
    resources.erase(std::remove_if(resources.begin(), resources.end(),
                                   [](const Resource& r) { return IsType(r, kResourceVersion); }),
                    resources.end());
    Resource version;
    version.type.id = kResourceVersion;
    version.name.id = 1;
    version.language = kLanguageJapanese;
    version.data = VersionResource(strings);
    resources.push_back(version);
}

// Whether the manifest changed: the stub's own may already ask for the level.
bool SetExecutionLevel(std::vector<Resource>& resources, const std::string& level)
{
    // The manifest Windows reads for a program is resource 1.
    auto manifest = std::find_if(resources.begin(), resources.end(), [](const Resource& r) {
        return IsType(r, kResourceManifest) && r.name.name.empty() && r.name.id == 1;
    });
    if (manifest == resources.end())
        throw PackError("has no application manifest (resource 1) to set the execution level in");
    std::string text(manifest->data.begin(), manifest->data.end());
    std::string changed = WithExecutionLevel(text, level);
    manifest->data.assign(changed.begin(), changed.end());
    return changed != text;
}

} // namespace

void CheckCanCarryContainer(const std::vector<uint8_t>& program)
{
    if (program.size() < 2 || program[0] != 'M' || program[1] != 'Z')
        throw PackError("not a Windows program (no MZ header)");
    if (program.size() > kMaxInstaller)
        throw PackError(SizeText(program.size()) + " bytes, more than a whole installer may be (" +
                        SizeText(kMaxInstaller) + ")");
    uint32_t headerOffset;
    if (ScanContainer(program.data(), (uint32_t)program.size(), &headerOffset) != PAYLOAD_NOT_FOUND)
        throw PackError("already carries a payload container; give the bare stub");
}

void CheckStub(const std::vector<uint8_t>& stub)
{
    CheckCanCarryContainer(stub);
    std::vector<Resource> resources = ReadResources(stub);
    auto marker = std::find_if(resources.begin(), resources.end(), IsMarker);
    if (marker == resources.end())
        throw PackError("not a Morlu2 installer stub (it has no MORLU2STUB resource); give the setup-stub.exe "
                        "that this packer came with");
    std::string text(marker->data.begin(), marker->data.end());
    if (text != kMarkerText)
        throw PackError("an installer stub for another payload container (\"" + text.substr(0, 80) +
                        "\"); this packer writes \"" + kMarkerText + "\"");
    if (HasCertificateTable(stub))
        throw PackError("carries an Authenticode signature, which the appended payload would break; give the "
                        "unsigned stub and sign the finished installer");
}

std::vector<uint8_t> BrandStub(const std::vector<uint8_t>& stub, const Branding& branding)
{
    std::vector<Resource> resources = ReadResources(stub);
    bool changed = false;
    if (!branding.icon.empty()) {
        ReplaceIcon(resources, branding.icon);
        changed = true;
    }
    if (!branding.versionStrings.empty()) {
        ReplaceVersion(resources, branding.versionStrings);
        changed = true;
    }
    if (!branding.executionLevel.empty() && SetExecutionLevel(resources, branding.executionLevel))
        changed = true;
    return changed ? ReplaceResources(stub, resources) : stub;
}
