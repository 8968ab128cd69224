#include "posix_files.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <stdexcept>

std::string Quote(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

int RunCommand(const std::string& command)
{
    int status = system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string FreshFolder(const std::string& name)
{
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    std::string folder = std::string(MORLU_BUILD_DIR) + "/test-output/" + test->test_suite_name() + "." +
                         test->name() + "/" + name;
    RunCommand("rm -rf " + Quote(folder) + " && mkdir -p " + Quote(folder));
    return folder;
}

Bytes ReadWholeFile(const std::string& path)
{
    FILE* file = fopen(path.c_str(), "rb");
    if (file == nullptr)
        throw std::runtime_error("cannot read " + path);
    Bytes bytes;
    uint8_t chunk[65536];
    size_t count;
    while ((count = fread(chunk, 1, sizeof chunk, file)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + count);
    fclose(file);
    return bytes;
}

void WriteWholeFile(const std::string& path, const Bytes& bytes)
{
    FILE* file = fopen(path.c_str(), "wb");
    if (file == nullptr)
        throw std::runtime_error("cannot write " + path);
    if (!bytes.empty())
        fwrite(bytes.data(), 1, bytes.size(), file);
    fclose(file);
}

static void CollectFiles(const std::string& folder, const std::string& prefix, std::map<std::string, Bytes>& files)
{
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr)
        return;
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        std::string path = folder + "/" + name;
        struct stat status = FileStatus(path);
        if (S_ISDIR(status.st_mode))
            CollectFiles(path, prefix + name + "/", files);
        else
            files[prefix + name] = ReadWholeFile(path);
    }
    closedir(dir);
}

std::map<std::string, Bytes> FilesBelow(const std::string& folder)
{
    std::map<std::string, Bytes> files;
    CollectFiles(folder, "", files);
    return files;
}

struct stat FileStatus(const std::string& path)
{
    struct stat status = {};
    if (lstat(path.c_str(), &status) != 0)
        throw std::runtime_error("cannot stat " + path);
    return status;
}

// Little-endian records, small opcodes and padding, like a program image.
static Bytes BinaryBytes(size_t size, uint32_t seed)
{
    Bytes random = RandomBytes(size, seed);
    Bytes bytes;
    uint32_t counter = 0x00401000;
    for (size_t i = 0; bytes.size() < size; ++i) {
        switch (random[i % random.size()] % 4) {
        case 0:
            for (int k = 0; k < 4; ++k)
                bytes.push_back((uint8_t)(counter >> 8 * k));
            counter += 16;
            break;
        case 1:
            bytes.insert(bytes.end(), {0x8B, 0x45, (uint8_t)(random[(i * 7) % random.size()] & 0x1C), 0xE8});
            break;
        case 2:
            bytes.insert(bytes.end(), random[(i * 13) % random.size()] % 24, 0);
            break;
        default:
            bytes.push_back(random[(i * 31) % random.size()]);
            break;
        }
    }
    bytes.resize(size);
    return bytes;
}

static Bytes RunsBytes(size_t size, uint32_t seed)
{
    Bytes random = RandomBytes(4096, seed);
    Bytes bytes;
    for (size_t i = 0; bytes.size() < size; ++i)
        bytes.insert(bytes.end(), 1 + (random[i % 4096] * 37 + random[(i + 1) % 4096]) % 3000, random[(i * 5) % 4096]);
    bytes.resize(size);
    return bytes;
}

static Corpus MakeCorpus()
{
    Corpus corpus;
    std::string root = std::string(MORLU_BUILD_DIR) + "/test-corpus/jlha";
    corpus.folder = root + "/files";
    corpus.level0 = root + "/level0.lzh";
    corpus.level1 = root + "/level1.lzh";

    Bytes large = TextBytes(700000, 56);
    Bytes binary = BinaryBytes(500000, 57);
    Bytes random = RandomBytes(400000, 58);
    large.insert(large.end(), binary.begin(), binary.end());
    large.insert(large.end(), random.begin(), random.end());
    const std::vector<std::pair<std::string, Bytes>> files = {
        {"empty.dat", Bytes()},
        {"one.dat", Bytes{'Z'}},
        {"window.txt", TextBytes(262144, 50)},
        {"flush.txt", TextBytes(868664, 51)},
        {"text.txt", TextBytes(300000, 52)},
        {"binary.bin", BinaryBytes(400000, 53)},
        {"random.bin", RandomBytes(200000, 54)},
        {"runs.bin", RunsBytes(1 << 20, 55)},
        {"large.bin", large},
    };
    for (const auto& file : files)
        corpus.names.push_back(file.first);
    if (access((root + "/done").c_str(), F_OK) == 0)
        return corpus;

    // Made aside and renamed into place: test programs run side by side.
    std::string making = root + ".making." + std::to_string(getpid());
    RunCommand("rm -rf " + Quote(making) + " && mkdir -p " + Quote(making + "/files"));
    std::string names;
    for (const auto& file : files) {
        WriteWholeFile(making + "/files/" + file.first, file.second);
        names += " " + file.first;
    }
    for (int level : {0, 1}) {
        std::string command = "cd " + Quote(making + "/files") + " && jlha a" + std::to_string(level) +
                              "o5q ../level" + std::to_string(level) + ".lzh" + names + " >/dev/null 2>&1";
        if (RunCommand(command) != 0)
            throw std::runtime_error("jlha failed: " + command);
    }
    WriteWholeFile(making + "/done", Bytes());
    if (rename(making.c_str(), root.c_str()) != 0)
        RunCommand("rm -rf " + Quote(making));
    return corpus;
}

const Corpus& JlhaCorpus()
{
    static const Corpus corpus = MakeCorpus();
    return corpus;
}
