// The engine alone, in memory: extracts an LHA archive again and again into a
// sink that only counts bytes, on one thread, and prints MB/s of output
// (decoding and the CRC-16 check, nothing written). Built at the packer's
// flags, at the installer's (-Os, its engine state), and in the win32 build
// as the shipping stub's own engine.
//
//   lh5_decode_bench ARCHIVE [RUNS]
//
// Prints one line: members, output bytes, runs, best and median MB/s.
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "extract/extract.h"

static uint64_t bytesOut;

static MemberFile CountCreate(const char*, uint32_t)
{
    return 1;
}

static uint32_t CountWrite(MemberFile, const unsigned char*, uint32_t count)
{
    bytesOut += count;
    return count;
}

static void IgnoreTime(MemberFile, uint16_t, uint16_t)
{
}

static bool IgnoreClose(MemberFile, bool)
{
    return true;
}

static const MemberSink countingSink = {CountCreate, CountWrite, IgnoreTime, IgnoreClose, nullptr};

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3) {
        fprintf(stderr, "usage: lh5_decode_bench ARCHIVE [RUNS]\n");
        return 1;
    }
    int runs = argc == 3 ? atoi(argv[2]) : 11;
    FILE* file = fopen(argv[1], "rb");
    if (file == nullptr || runs < 1) {
        fprintf(stderr, "lh5_decode_bench: cannot read %s\n", argv[1]);
        return 1;
    }
    std::vector<unsigned char> archive;
    unsigned char chunk[65536];
    for (size_t got; (got = fread(chunk, 1, sizeof chunk, file)) > 0;)
        archive.insert(archive.end(), chunk, chunk + got);
    fclose(file);

    std::vector<double> seconds;
    int members = 0;
    for (int run = 0; run < runs; ++run) {
        bytesOut = 0;
        auto start = std::chrono::steady_clock::now();
        members = ExtractArchive("bench", archive.data(), (uint32_t)archive.size(), &countingSink);
        std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        if (members <= 0) {
            fprintf(stderr, "lh5_decode_bench: %s: extraction failed (%d)\n", argv[1], members);
            return 2;
        }
        seconds.push_back(took.count());
    }
    std::sort(seconds.begin(), seconds.end());
    double mb = bytesOut / 1e6;
    printf("members %d bytes %llu runs %d best %.1f median %.1f\n", members, (unsigned long long)bytesOut, runs,
           mb / seconds.front(), mb / seconds[seconds.size() / 2]);
    return 0;
}
