#include "pack_test_support.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include "container/payload_container.h"
#include "extract/extract.h"
#include "extract/memory_sink.h"
#include "packer/pack/archive_writer.h"

Bytes BytesOf(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

Bytes RandomBytes(size_t size, uint32_t seed)
{
    std::mt19937 random(seed);
    Bytes bytes(size);
    for (uint8_t& b : bytes)
        b = (uint8_t)random();
    return bytes;
}

Bytes TextBytes(size_t size, uint32_t seed)
{
    static const char* const kWords[] = {
        "the",     "installer", "extracts", "members", "of",      "archive",  "into",  "work",   "folder",
        "and",     "checks",    "each",     "before",  "starts",  "program",  "window", "shortcut", "release",
        "notes",   "Morlu",     "version",  "インストール", "ﾌｧｲﾙ", "完了しました", "設定", "。", "、",
        "dictionary", "reference", "literal", "block",  "position", "length",  "code"};
    std::mt19937 random(seed);
    std::string text;
    while (text.size() < size) {
        text += kWords[random() % (sizeof kWords / sizeof kWords[0])];
        uint32_t r = random() % 20;
        text += r == 0 ? ".\r\n" : r == 1 ? ", " : r == 2 ? "\n\n" : " ";
    }
    text.resize(size);
    return Bytes(text.begin(), text.end());
}

Bytes BinaryBytes(size_t size, uint32_t seed)
{
    std::mt19937 random(seed);
    Bytes bytes;
    bytes.reserve(size + 64);
    uint32_t address = 0x401000;
    while (bytes.size() < size) {
        switch (random() % 4) {
        case 0: // a table of addresses, little-endian
            for (int i = 0; i < 16; ++i) {
                address += 4 + random() % 64;
                for (int k = 0; k < 4; ++k)
                    bytes.push_back((uint8_t)(address >> (8 * k)));
            }
            break;
        case 1: // small integers with zero padding
            for (int i = 0; i < 32; ++i) {
                bytes.push_back((uint8_t)(random() % 8));
                bytes.push_back(0);
            }
            break;
        case 2: { // a repeat of something from not long ago
            size_t back = 1 + random() % std::min<size_t>(bytes.size() + 1, 12000);
            size_t length = 3 + random() % 300;
            if (back <= bytes.size()) {
                size_t from = bytes.size() - back;
                for (size_t i = 0; i < length; ++i)
                    bytes.push_back(bytes[from + i]);
            }
            break;
        }
        default: // code-like noise
            for (int i = 0; i < 24; ++i)
                bytes.push_back((uint8_t)(random() % 3 == 0 ? 0x8B : random()));
        }
    }
    bytes.resize(size);
    return bytes;
}

Bytes RunBytes(size_t size, uint32_t seed)
{
    std::mt19937 random(seed);
    Bytes bytes;
    bytes.reserve(size);
    while (bytes.size() < size) {
        uint8_t value = (uint8_t)(random() % 3 == 0 ? 0 : random());
        size_t length = 1 + random() % (random() % 2 ? 100000 : 300);
        bytes.insert(bytes.end(), std::min(length, size - bytes.size()), value);
    }
    return bytes;
}

Bytes SegmentEdgeBytes(uint32_t seed, bool repeat)
{
    const size_t edge = kLh5SegmentBytes;
    Bytes bytes = RandomBytes(3 * edge + 1, seed);
    if (repeat)
        std::copy_n(bytes.begin() + (edge - 5000), 4000, bytes.begin() + (edge - 500));
    std::fill_n(bytes.begin() + (2 * edge - 1000), 2500, 0x55);
    return bytes;
}

std::vector<CorpusItem> GeneratedCorpus()
{
    return {
        {"empty", {}},
        {"one_byte", {0x41}},
        {"window_262144", TextBytes(262144, 1)},
        {"large_text", TextBytes(3 << 20, 2)},
        {"binary", BinaryBytes(1 << 20, 3)},
        {"random", RandomBytes(300000, 4)},
        {"long_runs", RunBytes(1 << 20, 5)},
        {"segment_edges", SegmentEdgeBytes(6)},
    };
}

Bytes Lh5Archive(const Bytes& stream, const Bytes& original)
{
    const std::string name = "m.bin";
    Bytes header(27 + name.size(), 0);
    header[0] = (uint8_t)(header.size() - 2);
    memcpy(&header[2], "-lh5-", 5);
    for (int k = 0; k < 4; ++k) {
        header[7 + k] = (uint8_t)(stream.size() >> (8 * k));
        header[11 + k] = (uint8_t)(original.size() >> (8 * k));
    }
    header[15] = 0x00; // 00:00:00
    header[17] = 0x21; // 1980-01-01
    header[19] = 0x20;
    header[20] = 1;
    header[21] = (uint8_t)name.size();
    memcpy(&header[22], name.data(), name.size());
    uint16_t crc = Crc16(original.data(), original.size());
    header[22 + name.size()] = (uint8_t)crc;
    header[23 + name.size()] = (uint8_t)(crc >> 8);
    header[24 + name.size()] = 'M';
    uint8_t sum = 0;
    for (size_t i = 2; i < header.size(); ++i)
        sum = (uint8_t)(sum + header[i]);
    header[1] = sum;

    Bytes archive(header.size() + stream.size() + 1, 0); // ends in the end mark
    std::copy(header.begin(), header.end(), archive.begin());
    std::copy(stream.begin(), stream.end(), archive.begin() + (ptrdiff_t)header.size());
    return archive;
}

void FinishImage(InstallerImage& image, const std::string& versionText, const std::string& message,
                 int32_t memberCount)
{
    const size_t archiveSize = image.bytes.size() - image.headerOffset - sizeof(PayloadHeader);
    Bytes header = PayloadHeaderBytes(image.headerOffset, archiveSize, versionText, message, memberCount);
    std::copy(header.begin(), header.end(), image.bytes.begin() + image.headerOffset);
    Bytes trailer = MessageTrailer(message);
    image.bytes.insert(image.bytes.end(), trailer.begin(), trailer.end());
}

Decoded DecodeWithEngine(const uint8_t* archive, size_t size)
{
    ResetMemorySink(true);
    Decoded decoded;
    decoded.result = ExtractArchive("dest", archive, (uint32_t)size, &memoryMemberSink);
    for (const MemoryFile& file : MemorySinkFiles()) {
        decoded.names.push_back(file.name);
        decoded.contents.push_back(Bytes(file.bytes.begin(), file.bytes.end()));
    }
    ResetMemorySink(false);
    return decoded;
}

bool DecodeStream(const Bytes& stream, const Bytes& original, Bytes* out)
{
    Bytes archive = Lh5Archive(stream, original);
    Decoded decoded = DecodeWithEngine(archive.data(), archive.size());
    if (decoded.result != 1 || decoded.contents.size() != 1)
        return false;
    *out = decoded.contents[0];
    return true;
}

TempDir::TempDir()
{
    char pattern[] = "/tmp/morlu-pack-test.XXXXXX";
    if (mkdtemp(pattern) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir()
{
    RunProgram({"rm", "-rf", path_});
}

void WriteBytes(const std::string& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write((const char*)bytes.data(), (std::streamsize)bytes.size());
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

Bytes ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool Exists(const std::string& path)
{
    struct stat status;
    return lstat(path.c_str(), &status) == 0;
}

std::vector<std::string> Listing(const std::string& folder)
{
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0)
                names.push_back(entry->d_name);
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

static std::string Slurp(int fd)
{
    std::string text;
    char buffer[4096];
    lseek(fd, 0, SEEK_SET);
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0)
        text.append(buffer, (size_t)n);
    return text;
}

RunResult RunProgram(const std::vector<std::string>& argv, const std::string& folder)
{
    char outName[] = "/tmp/morlu-pack-out.XXXXXX";
    char errName[] = "/tmp/morlu-pack-err.XXXXXX";
    int outFd = mkstemp(outName);
    int errFd = mkstemp(errName);
    unlink(outName);
    unlink(errName);

    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);

    pid_t child = fork();
    if (child == 0) {
        int null = open("/dev/null", O_RDONLY);
        dup2(null, 0);
        dup2(outFd, 1);
        dup2(errFd, 2);
        if (!folder.empty() && chdir(folder.c_str()) != 0)
            _exit(126);
        execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    RunResult result{WIFEXITED(status) ? WEXITSTATUS(status) : -1, Slurp(outFd), Slurp(errFd)};
    close(outFd);
    close(errFd);
    return result;
}

bool HaveProgram(const std::string& name)
{
    return RunProgram({"sh", "-c", "command -v " + name}).exitCode == 0;
}

std::string MorluPack()
{
    return std::string(MORLU_BUILD_DIR) + "/morlu-pack";
}

std::string ShippingStub()
{
    std::string path = std::string(MORLU_SOURCE_DIR) + "/build/win32/setup-stub.exe";
    return Exists(path) ? path : "";
}

Bytes FakeStub(size_t size)
{
    Bytes stub = RandomBytes(size, 99);
    stub[0] = 'M';
    stub[1] = 'Z';
    return stub;
}
