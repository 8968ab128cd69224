#include "packer/stub/execution_level.h"

#include <strings.h>

#include "packer/system/pack_error.h"

const char* const kExecutionLevels[3] = {"asInvoker", "highestAvailable", "requireAdministrator"};

namespace {

const char kElement[] = "requestedExecutionLevel";
const char kSpaces[] = " \t\r\n";

bool IsTheElement(const std::string& name)
{
    // With or without a namespace prefix, as in <ms_asmv3:requestedExecutionLevel>.
    size_t colon = name.rfind(':');
    return name.compare(colon == std::string::npos ? 0 : colon + 1, std::string::npos, kElement) == 0;
}

} // namespace

std::string ExecutionLevelNamed(const std::string& name)
{
    for (const char* level : kExecutionLevels) {
        if (strcasecmp(level, name.c_str()) == 0)
            return level;
    }
    return "";
}

std::string WithExecutionLevel(const std::string& manifest, const std::string& level)
{
    for (size_t open = manifest.find('<'); open != std::string::npos; open = manifest.find('<', open + 1)) {
        size_t at = manifest.find_first_of(" \t\r\n/>", open + 1);
        if (at == std::string::npos || !IsTheElement(manifest.substr(open + 1, at - open - 1)))
            continue;
        // The attributes up to the tag's end: NAME = "VALUE" or 'VALUE'.
        for (;;) {
            at = manifest.find_first_not_of(kSpaces, at);
            if (at == std::string::npos || manifest[at] == '>' || manifest[at] == '/')
                break;
            size_t nameEnd = manifest.find_first_of(" \t\r\n=/>", at);
            size_t equals = nameEnd == std::string::npos ? nameEnd : manifest.find_first_not_of(kSpaces, nameEnd);
            if (equals == std::string::npos || manifest[equals] != '=')
                break;
            size_t quote = manifest.find_first_not_of(kSpaces, equals + 1);
            if (quote == std::string::npos || (manifest[quote] != '"' && manifest[quote] != '\''))
                break;
            size_t valueEnd = manifest.find(manifest[quote], quote + 1);
            if (valueEnd == std::string::npos)
                break;
            if (manifest.compare(at, nameEnd - at, "level") == 0)
                return manifest.substr(0, quote + 1) + level + manifest.substr(valueEnd);
            at = valueEnd + 1;
        }
    }
    throw PackError("its application manifest asks for no execution level (no requestedExecutionLevel element with "
                    "a level) to set");
}
