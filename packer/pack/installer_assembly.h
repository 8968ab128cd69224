// Making a finished installer of the stub and the product's files: the
// checks, the layout, packing, the payload header and trailer, verification,
// and the output put in place only when complete.
#pragma once
#include <stdint.h>

#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "packer/pack/archive_writer.h"
#include "packer/stub/version_resource.h"
#include "packer/system/cp932_text.h"

// What goes into an installer, as the command line names it.
struct InstallerInputs {
    std::string stub;
    std::string version; // UTF-8
    std::string message; // the message file, "" for none
    TextEncoding messageEncoding = TextEncoding::Detect;
    TextEncoding notesEncoding = TextEncoding::Detect;
    PackMethod method = PackMethod::Lh5;
    unsigned jobs = 0; // 0: one per processor
    std::vector<std::string> excludes;
    std::string icon;
    VersionStrings versionStrings;
    std::string executionLevel; // "" for the stub's own
    bool clampTimes = false;
    time_t sourceDateEpoch = 0;
    std::string output;
    std::vector<std::string> paths;
};

// What the making of an installer tells as it goes.
struct AssemblyReport {
    std::function<void(const std::string&)> warn;
    std::function<void(uint64_t total)> packingStarts; // total: input bytes
    std::function<void(uint64_t done)> packed;
    std::function<void()> packingEnds; // before the output is put in place
};

struct AssembledInstaller {
    size_t members = 0;
    uint64_t inputBytes = 0;
    uint64_t archiveBytes = 0;
};

// Makes the installer at inputs.output. Throws PackError for an input it
// cannot carry or a file it cannot read or write, leaving no output behind.
AssembledInstaller AssembleInstaller(const InstallerInputs& inputs, const AssemblyReport& report);
