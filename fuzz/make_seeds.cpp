// Writes the fuzzers' first inputs: small archives of every kind the engine
// reads (levels 0 and 1, extended headers, -lh0-, -lh4-, one-symbol codes,
// many blocks) and an installer around one.
#include <stdio.h>

#include <string>

#include "archive_builder.h"
#include "lh5_writer.h"

static void Write(const std::string& path, const Bytes& bytes)
{
    FILE* file = fopen(path.c_str(), "wb");
    if (file == nullptr) {
        perror(path.c_str());
        exit(1);
    }
    fwrite(bytes.data(), 1, bytes.size(), file);
    fclose(file);
}

int main(int argc, char** argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: make_seeds EXTRACT_DIR CONTAINER_DIR\n");
        return 1;
    }
    std::string extract = argv[1], container = argv[2];

    MemberSpec extended = Lh5Member("ext.txt", TextBytes(700, 1));
    extended.extended = {Bytes{0x00, 0x12, 0x34}, Bytes{0x40, 0x20, 0x00}};
    MemberSpec lh4 = Lh5Member("lh4.txt", TextBytes(900, 2));
    lh4.method = "-lh4-";
    MemberSpec blocks = Lh5Member("blocks.txt", TextBytes(1500, 3));
    blocks.data = CompressLh5(TextBytes(1500, 3), 40);
    BitWriter single;
    WriteBlock(single, {Lh5Token::Literal('Q')});
    WriteBlock(single, std::vector<Lh5Token>(4, Lh5Token::Reference(256, 1)));
    MemberSpec oneSymbol = Lh5Member("single", Bytes(1025, 'Q'));
    oneSymbol.data = single.Finish();

    const std::vector<std::pair<std::string, Bytes>> seeds = {
        {"empty", Bytes{0}},
        {"text-level1", ArchiveOf({Lh5Member("a.txt", TextBytes(1200, 4))})},
        {"text-level0", ArchiveOf({Lh5Member("b.txt", TextBytes(800, 5), 0)})},
        {"binary", ArchiveOf({Lh5Member("r.bin", RandomBytes(400, 6))})},
        {"runs", ArchiveOf({Lh5Member("runs", Bytes(3000, 'z'))})},
        {"stored", ArchiveOf({StoredMember("s.bin", RandomBytes(200, 7)), StoredMember("e", Bytes(), 0)})},
        {"extended", ArchiveOf({extended})},
        {"lh4", ArchiveOf({lh4})},
        {"blocks", ArchiveOf({blocks})},
        {"one-symbol", ArchiveOf({oneSymbol})},
        {"two-members", ArchiveOf({Lh5Member("x\\y.txt", TextBytes(300, 8)), Lh5Member("\x95\x5C", Bytes(50, 0))})},
    };
    for (const auto& seed : seeds)
        Write(extract + "/" + seed.first + ".lzh", seed.second);

    Bytes installer(512, 0xCC);
    for (int i = 0; i < 4; ++i)
        for (char c : std::string("#ZQJ# "))
            installer.push_back((uint8_t)c);
    Bytes archive = seeds[1].second;
    Bytes header(32, 0);
    header[0] = '1';
    header[24] = 32;
    for (int i = 0; i < 4; ++i)
        header[28 + i] = (uint8_t)(archive.size() >> 8 * i);
    installer.insert(installer.end(), header.begin(), header.end());
    installer.insert(installer.end(), archive.begin(), archive.end());
    installer.insert(installer.end(), 40, 0x5A);
    Write(container + "/installer.exe", installer);
    Write(container + "/short", Bytes(installer.begin() + 512, installer.begin() + 560));
    return 0;
}
