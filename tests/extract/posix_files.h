// Real files and programs for the native tests: fresh folders under the build
// tree, whole-file reads, and running the peer tools.
#pragma once
#include <sys/stat.h>

#include <map>
#include <string>
#include <vector>

#include "archive_builder.h"

// An empty folder under the build tree named after the running test.
std::string FreshFolder(const std::string& name);

Bytes ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const Bytes& bytes);

// Every regular file below folder, by its path relative to folder.
std::map<std::string, Bytes> FilesBelow(const std::string& folder);

// Runs a shell command line; returns its exit status.
int RunCommand(const std::string& command);
std::string Quote(const std::string& text);

// The corpus of the differential tests against lhasa: generated once under the
// build tree and shared by every test program that asks for it.
struct Corpus {
    std::string folder;              // the files
    std::vector<std::string> names;  // in archive order
    std::string level0;              // jlha archive with level-0 headers
    std::string level1;              // and with level-1 headers
};
const Corpus& JlhaCorpus();

struct stat FileStatus(const std::string& path);
