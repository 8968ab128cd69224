// Any bytes as an installer stub: the packer's PE reader stays inside them or
// refuses them, and a program whose resources it reads keeps exactly those
// resources (the last of any duplicates) when its resource section is rebuilt.
#include <stdlib.h>

#include <map>
#include <tuple>

#include "packer/stub/pe_image.h"
#include "packer/system/pack_error.h"

static void Require(bool condition)
{
    if (!condition)
        abort();
}

using Key = std::tuple<bool, uint16_t, std::u16string, bool, uint16_t, std::u16string, uint16_t>;
using Contents = std::map<Key, std::pair<uint32_t, std::vector<uint8_t>>>;

static Contents ContentsOf(const std::vector<Resource>& resources)
{
    Contents contents;
    for (const Resource& r : resources) {
        Key key{r.type.name.empty(), r.type.id, r.type.name, r.name.name.empty(), r.name.id, r.name.name, r.language};
        contents[key] = {r.codePage, r.data};
    }
    return contents;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> program(data, data + size);
    std::vector<Resource> resources;
    try {
        HasCertificateTable(program);
        resources = ReadResources(program);
    } catch (const PackError&) {
        return 0;
    }
    std::vector<uint8_t> rebuilt;
    try {
        rebuilt = ReplaceResources(program, resources);
    } catch (const PackError&) {
        return 0;
    }
    Require(ContentsOf(ReadResources(rebuilt)) == ContentsOf(resources));
    return 0;
}
