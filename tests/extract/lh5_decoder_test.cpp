// Hand-made -lh5- streams for what common archivers never write: 65,536-symbol
// blocks, one-symbol codes, over-full and incomplete codes, length escapes,
// references before the member's start or across the window's end.
#include <gtest/gtest.h>

#include <string>

#include "archive_builder.h"
#include "lh5_writer.h"
#include "memory_run.h"

namespace {

const size_t kWindow = 262144;

// A member whose header CRC is that of expected.
MemberSpec StreamMember(const Bytes& stream, uint32_t originalSize, const Bytes& expected)
{
    MemberSpec member;
    member.name = "stream";
    member.data = stream;
    member.originalSize = originalSize;
    member.crc = ReferenceCrc16(expected);
    return member;
}

MemoryRun DecodeStream(const Bytes& stream, uint32_t originalSize, const Bytes& expected)
{
    return ExtractInMemory(ArchiveOf({StreamMember(stream, originalSize, expected)}));
}

// Output of tokens, copied byte by byte as the format defines it.
Bytes Expand(const std::vector<Lh5Token>& tokens)
{
    Bytes out;
    for (const Lh5Token& token : tokens) {
        if (token.symbol < 256) {
            out.push_back((uint8_t)token.symbol);
            continue;
        }
        for (unsigned i = 0; i < token.symbol - 253; ++i)
            out.push_back(out[out.size() - token.distance]);
    }
    return out;
}

std::vector<Lh5Token> Literals(const Bytes& bytes)
{
    std::vector<Lh5Token> tokens;
    for (uint8_t byte : bytes)
        tokens.push_back(Lh5Token::Literal(byte));
    return tokens;
}

// The block header up to the position code, for blocks whose char/length
// lengths the test chooses itself.
void CharCodeHeader(BitWriter& out, unsigned symbols, const std::vector<uint8_t>& charLengths)
{
    out.Put(symbols, 16);
    WriteCharLengths(out, charLengths);
}

std::vector<uint8_t> CharLengths(std::initializer_list<std::pair<unsigned, uint8_t>> lengths)
{
    std::vector<uint8_t> list(510, 0);
    for (const auto& entry : lengths)
        list[entry.first] = entry.second;
    return list;
}

TEST(Lh5Decoder, CountFieldZeroIsABlockOf65536Symbols)
{
    Bytes content = TextBytes(65536 + 1000, 40);
    std::vector<Lh5Token> tokens = Literals(content);
    BitWriter out;
    WriteBlock(out, std::vector<Lh5Token>(tokens.begin(), tokens.begin() + 65536));
    WriteBlock(out, std::vector<Lh5Token>(tokens.begin() + 65536, tokens.end()));
    Bytes stream = out.Finish();
    ASSERT_EQ(0, stream[0]); // the first count field
    ASSERT_EQ(0, stream[1]);
    MemoryRun run = DecodeStream(stream, (uint32_t)content.size(), content);
    ASSERT_EQ(1, run.result);
    EXPECT_EQ(content, FileBytes(run.files[0]));
}

TEST(Lh5Decoder, OneSymbolCodesConsumeNoBits)
{
    // 'Q', then ten references of length 256 at distance 1: each code has one symbol.
    std::vector<Lh5Token> first = {Lh5Token::Literal('Q')};
    std::vector<Lh5Token> repeats(10, Lh5Token::Reference(256, 1));
    BitWriter out;
    WriteBlock(out, first);
    WriteBlock(out, repeats);
    Bytes stream = out.Finish();
    EXPECT_LT(stream.size(), 20u);
    Bytes expected(2561, 'Q');
    MemoryRun run = DecodeStream(stream, 2561, expected);
    ASSERT_EQ(1, run.result);
    EXPECT_EQ(expected, FileBytes(run.files[0]));

    // A one-symbol position code still reads the symbol's extra bits.
    std::vector<Lh5Token> tokens = Literals(BytesOf("abcde"));
    for (int i = 0; i < 3; ++i)
        tokens.push_back(Lh5Token::Reference(5, 5));
    BitWriter extra;
    WriteBlock(extra, tokens);
    expected = Expand(tokens);
    run = DecodeStream(extra.Finish(), (uint32_t)expected.size(), expected);
    ASSERT_EQ(1, run.result);
    EXPECT_EQ(BytesOf("abcdeabcdeabcdeabcde"), FileBytes(run.files[0]));
}

TEST(Lh5Decoder, OneSymbolValuesOutsideTheirCodeAreDataErrors)
{
    struct Case {
        unsigned codeLengthValue, charValue, positionValue;
        bool accepted;
    };
    const Case cases[] = {
        {18, 'A', 0, true},  {19, 'A', 0, false}, {31, 'A', 0, false},
        {0, 509, 0, true},   {0, 510, 0, false},  {0, 511, 0, false},
        {0, 'A', 13, true},  {0, 'A', 14, false}, {0, 'A', 15, false},
    };
    for (const Case& c : cases) {
        BitWriter out;
        out.Put(1, 16);
        WriteSingleCode(out, 5, c.codeLengthValue);
        WriteSingleCode(out, 9, c.charValue);
        WriteSingleCode(out, 4, c.positionValue);
        Bytes stream = out.Finish();
        stream.resize(stream.size() + 4, 0);
        MemoryRun run = ExtractInMemory(ArchiveOf({StreamMember(stream, 1, BytesOf("A"))}));
        if (c.accepted) {
            // Symbol 509 copies 256 bytes from the window's end: its CRC need not match.
            EXPECT_NE(FAILURE_BAD_SINGLE_CODE, GetExtractFailure().reason)
                << c.codeLengthValue << " " << c.charValue << " " << c.positionValue;
            if (c.charValue == 'A') {
                EXPECT_EQ(1, run.result);
            }
        } else {
            EXPECT_EQ(kExtractDataError, run.result);
            EXPECT_EQ(FAILURE_BAD_SINGLE_CODE, GetExtractFailure().reason)
                << c.codeLengthValue << " " << c.charValue << " " << c.positionValue;
            ASSERT_EQ(1u, run.files.size());
            EXPECT_TRUE(run.files[0].closed);
            EXPECT_FALSE(run.files[0].timeSet);
        }
    }
}

TEST(Lh5Decoder, CountFieldsAboveTheSymbolCountAreDataErrors)
{
    // Code-length code: 20 of 19.
    BitWriter codeLength;
    codeLength.Put(1, 16);
    codeLength.Put(20, 5);
    // Char/length code: 511 of 510.
    BitWriter charLength;
    charLength.Put(1, 16);
    WriteSingleCode(charLength, 5, 0);
    charLength.Put(511, 9);
    // Position code: 15 of 14.
    BitWriter position;
    position.Put(1, 16);
    WriteSingleCode(position, 5, 0);
    WriteSingleCode(position, 9, 'A');
    position.Put(15, 4);
    for (BitWriter* out : {&codeLength, &charLength, &position}) {
        Bytes stream = out->Finish();
        stream.resize(stream.size() + 8, 0xFF);
        MemoryRun run = DecodeStream(stream, 1, BytesOf("A"));
        EXPECT_EQ(kExtractDataError, run.result);
        EXPECT_EQ(FAILURE_BAD_CODE_COUNT, GetExtractFailure().reason);
    }
}

TEST(Lh5Decoder, AllFourteenPositionSymbols)
{
    // Distances from 1 to 8,192 use every position symbol: a count of 14,
    // after which no zero run may be read.
    Bytes start = RandomBytes(9000, 41);
    std::vector<Lh5Token> tokens = Literals(start);
    for (unsigned distance : {1, 2, 3, 4, 5, 8, 9, 16, 17, 33, 64, 65, 128, 129, 255, 257, 513, 1024, 1025, 2049,
                              4096, 4097, 6000, 8191, 8192}) {
        tokens.push_back(Lh5Token::Reference(7, distance));
        tokens.push_back(Lh5Token::Literal((uint8_t)distance));
    }
    BlockCodes codes = FitCodes(tokens);
    size_t usedPositions = 0;
    for (uint8_t length : codes.positionLengths)
        usedPositions += length != 0;
    ASSERT_EQ(14u, usedPositions);
    BitWriter out;
    WriteBlock(out, tokens);
    Bytes expected = Expand(tokens);
    MemoryRun run = DecodeStream(out.Finish(), (uint32_t)expected.size(), expected);
    ASSERT_EQ(1, run.result);
    EXPECT_EQ(expected, FileBytes(run.files[0]));
}

TEST(Lh5Decoder, OverFullCodesKeepTheCodesThatFit)
{
    // a=1, b=1 fill the code space; c (also 1) gets no code.
    BitWriter out;
    CharCodeHeader(out, 6, CharLengths({{'a', 1}, {'b', 1}, {'c', 1}}));
    WriteSingleCode(out, 4, 0);
    out.Put(0b011010, 6);
    Bytes expected = BytesOf("abbaba");
    MemoryRun run = DecodeStream(out.Finish(), 6, expected);
    ASSERT_EQ(1, run.result);
    EXPECT_EQ(expected, FileBytes(run.files[0]));

    // a=0, b=10, c=11 fill it; d (2 bits) is dropped.
    BitWriter second;
    CharCodeHeader(second, 4, CharLengths({{'a', 1}, {'b', 2}, {'c', 2}, {'d', 2}}));
    WriteSingleCode(second, 4, 0);
    second.Put(0b0101111, 7);
    expected = BytesOf("abcc");
    run = DecodeStream(second.Finish(), 4, expected);
    ASSERT_EQ(1, run.result);
    EXPECT_EQ(expected, FileBytes(run.files[0]));
}

TEST(Lh5Decoder, OverFullCodesWriteNothingPastTheirTable)
{
    // The position code 1, 1, 1 is full after two symbols; the third must not
    // be placed past the 256 entries of its table. Char code: A=0, B=10,
    // length 3=11; the first look-ups see five zero bits and more.
    BitWriter out;
    CharCodeHeader(out, 8, CharLengths({{'A', 1}, {'B', 2}, {256, 2}}));
    WritePtLengths(out, {1, 1, 1}, 4, false);
    out.Put(0b000000, 6);  // six A
    out.Put(0b10, 2);      // B
    out.Put(0b11, 2);      // length 3 ...
    out.Put(0b1, 1);       // ... distance 2
    Bytes expected = BytesOf("AAAAAABABA");
    MemoryRun run = DecodeStream(out.Finish(), 10, expected);
    ASSERT_EQ(1, run.result);
    EXPECT_EQ(expected, FileBytes(run.files[0]));
}

TEST(Lh5Decoder, IncompleteCodesDecodeMissingPatternsAsSymbolZero)
{
    // x=00, y=01, symbol 0=100; 101, 110 and 111 have no code and give symbol 0
    // with its 3 bits.
    BitWriter out;
    CharCodeHeader(out, 9, CharLengths({{'x', 2}, {'y', 2}, {0, 3}}));
    WriteSingleCode(out, 4, 0);
    for (unsigned bits : {0b00, 0b01, 0b100, 0b101, 0b01, 0b110, 0b00, 0b111, 0b01})
        out.Put(bits, bits > 1 ? 3 : 2);
    Bytes expected = {'x', 'y', 0, 0, 'y', 0, 'x', 0, 'y'};
    MemoryRun run = DecodeStream(out.Finish(), 9, expected);
    ASSERT_EQ(1, run.result);
    EXPECT_EQ(expected, FileBytes(run.files[0]));

    // Without a code for symbol 0 the missing patterns take no bits at all.
    BitWriter noZero;
    CharCodeHeader(noZero, 5, CharLengths({{'x', 2}, {'y', 2}}));
    WriteSingleCode(noZero, 4, 0);
    noZero.Put(0b011100, 6);
    expected = {'y', 0, 0, 0, 0};
    run = DecodeStream(noZero.Finish(), 5, expected);
    ASSERT_EQ(1, run.result);
    EXPECT_EQ(expected, FileBytes(run.files[0]));
}

TEST(Lh5Decoder, IncompleteCodesBelowTheTable)
{
    // x has 14 bits (all zero) and symbol 0 has 16 (0000000000000100): both
    // live in the tree below the 12-bit table. The other patterns, in the tree
    // or in the table, give symbol 0 and take its 16 bits.
    BitWriter out;
    CharCodeHeader(out, 4, CharLengths({{'x', 14}, {0, 16}}));
    WriteSingleCode(out, 4, 0);
    out.Put(0, 14);
    out.Put(0x0004, 16);
    out.Put(0x0005, 16);
    out.Put(0xFFFF, 16);
    Bytes expected = {'x', 0, 0, 0};
    MemoryRun run = DecodeStream(out.Finish(), 4, expected);
    ASSERT_EQ(1, run.result);
    EXPECT_EQ(expected, FileBytes(run.files[0]));
}

TEST(Lh5Decoder, LengthEscapes)
{
    // Position lengths 1, 17, 2, 2: 17 is 7 and ten ones, and gives no code.
    std::vector<Lh5Token> tokens = Literals(BytesOf("abcdefgh"));
    tokens.push_back(Lh5Token::Reference(3, 1)); // symbol 0
    tokens.push_back(Lh5Token::Reference(4, 4)); // symbol 2, extra bit 1
    tokens.push_back(Lh5Token::Reference(5, 7)); // symbol 3, extra bits 10
    BlockCodes codes = FitCodes(tokens);
    codes.positionLengths = {1, 17, 2, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    BitWriter out;
    out.Put((uint32_t)tokens.size(), 16);
    WriteCharLengths(out, codes.charLengths);
    WritePtLengths(out, codes.positionLengths, 4, false);
    WriteTokens(out, codes, tokens);
    Bytes expected = Expand(tokens);
    MemoryRun run = DecodeStream(out.Finish(), (uint32_t)expected.size(), expected);
    ASSERT_EQ(1, run.result);
    EXPECT_EQ(expected, FileBytes(run.files[0]));

    // Sixteen ones make 23, and the bit after them goes too, whatever it is.
    tokens = Literals(BytesOf("xyz"));
    tokens.push_back(Lh5Token::Reference(3, 2)); // symbol 1
    tokens.push_back(Lh5Token::Reference(4, 3)); // symbol 2, extra bit 0
    codes = FitCodes(tokens);
    codes.positionLengths = {23, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    BitWriter escape;
    escape.Put((uint32_t)tokens.size(), 16);
    WriteCharLengths(escape, codes.charLengths);
    escape.Put(3, 4);
    escape.Put(7, 3);
    escape.PutOnes(16);
    escape.Put(1, 1);
    escape.Put(1, 3);
    escape.Put(1, 3);
    WriteTokens(escape, codes, tokens);
    expected = Expand(tokens);
    run = DecodeStream(escape.Finish(), (uint32_t)expected.size(), expected);
    ASSERT_EQ(1, run.result);
    EXPECT_EQ(expected, FileBytes(run.files[0]));
}

TEST(Lh5Decoder, ZeroRunAfterTheThirdCodeLength)
{
    // Code-length code of count 6: 2, 2, 0, a run of two zeros, 2; symbol 5
    // (char length 3) is 10. Char lengths: 65 zeros (symbol 1 four times), then
    // 'A' and 'B' of length 3.
    BitWriter out;
    out.Put(5, 16);
    out.Put(6, 5);
    out.Put(2, 3);
    out.Put(2, 3);
    out.Put(0, 3);
    out.Put(2, 2);
    out.Put(2, 3);
    out.Put(67, 9);
    for (unsigned run : {18, 18, 18, 11}) {
        out.Put(0b01, 2);
        out.Put(run - 3, 4);
    }
    out.Put(0b10, 2);
    out.Put(0b10, 2);
    WriteSingleCode(out, 4, 0);
    out.Put(0b000001000001000, 15);
    Bytes expected = BytesOf("ABABA");
    MemoryRun run = DecodeStream(out.Finish(), 5, expected);
    ASSERT_EQ(1, run.result);
    EXPECT_EQ(expected, FileBytes(run.files[0]));

    // With a count of 3 the run is still read after the third length: here
    // symbols 0 and 2 (0 and 1) and run 0; the char lengths are 100 zeros by
    // symbol 2, so every char decodes as symbol 0 without bits.
    BitWriter three;
    three.Put(4, 16);
    three.Put(3, 5);
    three.Put(1, 3);
    three.Put(0, 3);
    three.Put(1, 3);
    three.Put(0, 2);
    three.Put(100, 9);
    three.Put(1, 1);
    three.Put(80, 9);
    WriteSingleCode(three, 4, 0);
    expected = Bytes(4, 0);
    run = DecodeStream(three.Finish(), 4, expected);
    ASSERT_EQ(1, run.result);
    EXPECT_EQ(expected, FileBytes(run.files[0]));
}

TEST(Lh5Decoder, ZeroRunsStopAtTheLastCharLength)
{
    // 'A' at 65, then symbol 2 with 511 more zeros: the run stops at entry 509.
    BitWriter out;
    out.Put(3, 16);
    // Code-length code: symbol 1 = 0, symbol 2 = 10, symbol 3 = 11 (char length 1).
    out.Put(4, 5);
    out.Put(0, 3);
    out.Put(1, 3);
    out.Put(2, 3);
    out.Put(0, 2);
    out.Put(2, 3);
    out.Put(510, 9);
    for (unsigned run : {18, 18, 18, 11}) {
        out.Put(0b0, 1);
        out.Put(run - 3, 4);
    }
    out.Put(0b11, 2);         // 'A' has length 1
    out.Put(0b10, 2);         // symbol 2 ...
    out.Put(511 - 20, 9);     // ... 511 zeros, of which 444 fit
    WriteSingleCode(out, 4, 0);
    out.Put(0, 3);
    Bytes expected = BytesOf("AAA");
    MemoryRun run = DecodeStream(out.Finish(), 3, expected);
    ASSERT_EQ(1, run.result);
    EXPECT_EQ(expected, FileBytes(run.files[0]));
}

// Member one fills the window and wraps; member two reaches back before its
// own first byte, into what member one left at the window's end.
TEST(Lh5Decoder, ReferencesBeforeTheMembersStart)
{
    Bytes first = TextBytes(kWindow + 5000, 42);
    std::vector<Lh5Token> tokens = {Lh5Token::Reference(10, 100), Lh5Token::Literal('z'),
                                    Lh5Token::Reference(20, 10), Lh5Token::Reference(256, 8192)};
    // What the window holds at each position when member two starts.
    Bytes window(first.begin() + kWindow, first.end());
    window.insert(window.end(), first.begin() + 5000, first.begin() + kWindow);
    Bytes expected(window.end() - 100, window.end() - 90);
    expected.push_back('z');
    for (int i = 0; i < 20; ++i)
        expected.push_back(expected[expected.size() - 10]);
    // Position 31 minus 8192: the source starts 8161 bytes before the window's
    // end and runs into it.
    for (size_t i = 0; i < 256; ++i) {
        size_t at = expected.size();
        expected.push_back(at >= 8192 ? expected[at - 8192] : window[kWindow - 8192 + at]);
    }

    BitWriter out;
    WriteBlock(out, tokens);
    MemberSpec second = StreamMember(out.Finish(), (uint32_t)expected.size(), expected);
    MemoryRun run = ExtractInMemory(ArchiveOf({Lh5Member("first", first), second}));
    ASSERT_EQ(2, run.result);
    EXPECT_EQ(first, FileBytes(run.files[0]));
    EXPECT_EQ(expected, FileBytes(run.files[1]));
}

TEST(Lh5Decoder, BytesBeyondAMembersEndStayAsTheyWere)
{
    // Member one fills the window; member two ends 100 bytes short of its end
    // with a reference; member three reads those 100 bytes, still member one's.
    Bytes first = TextBytes(kWindow, 48);
    Bytes text = TextBytes(kWindow - 120, 49);
    std::vector<Lh5Token> tokens = GreedyTokens(text);
    tokens.push_back(Lh5Token::Reference(20, 5000));
    Bytes second = Expand(tokens);
    ASSERT_EQ(kWindow - 100, second.size());
    BitWriter secondStream;
    WriteBlock(secondStream, tokens);
    BitWriter thirdStream;
    WriteBlock(thirdStream, {Lh5Token::Reference(100, 100)});
    Bytes third(first.end() - 100, first.end());
    MemoryRun run = ExtractInMemory(ArchiveOf({Lh5Member("first", first),
                                               StreamMember(secondStream.Finish(), (uint32_t)second.size(), second),
                                               StreamMember(thirdStream.Finish(), 100, third)}));
    ASSERT_EQ(3, run.result);
    EXPECT_EQ(second, FileBytes(run.files[1]));
    EXPECT_EQ(third, FileBytes(run.files[2]));
}

TEST(Lh5Decoder, SourceWrapsAtTheWindowsEnd)
{
    // After a member of exactly one window, a reference of distance 10 at
    // position 0 reads the window's last 10 bytes and then its own output.
    Bytes first = TextBytes(kWindow, 43);
    std::vector<Lh5Token> tokens = {Lh5Token::Reference(30, 10)};
    Bytes expected(first.end() - 10, first.end());
    for (int i = 0; i < 20; ++i)
        expected.push_back(expected[i]);
    BitWriter out;
    WriteBlock(out, tokens);
    MemoryRun run = ExtractInMemory(
        ArchiveOf({Lh5Member("first", first), StreamMember(out.Finish(), 30, expected)}));
    ASSERT_EQ(2, run.result);
    EXPECT_EQ(expected, FileBytes(run.files[1]));
}

TEST(Lh5Decoder, WindowFillsInTheMiddleOfAReference)
{
    Bytes text = TextBytes(kWindow - 2, 44);
    std::vector<Lh5Token> tokens = GreedyTokens(text);
    tokens.push_back(Lh5Token::Literal('x'));
    tokens.push_back(Lh5Token::Reference(9, 1));    // crosses the window's end
    tokens.push_back(Lh5Token::Reference(40, 500)); // reads bytes flushed already
    Bytes expected = Expand(tokens);
    BitWriter out;
    WriteBlock(out, tokens);
    MemoryRun run = DecodeStream(out.Finish(), (uint32_t)expected.size(), expected);
    ASSERT_EQ(1, run.result);
    EXPECT_EQ(expected, FileBytes(run.files[0]));
    EXPECT_EQ((std::vector<uint32_t>{262144, 48}), run.files[0].writes);
}

TEST(Lh5Decoder, AReferenceEndingAtTheWindowsEndFlushesIt)
{
    Bytes text = TextBytes(kWindow - 10, 47);
    std::vector<Lh5Token> tokens = GreedyTokens(text);
    tokens.push_back(Lh5Token::Literal('x'));
    tokens.push_back(Lh5Token::Reference(9, 1)); // fills the window exactly
    for (uint8_t byte : BytesOf("after the flush"))
        tokens.push_back(Lh5Token::Literal(byte));
    Bytes expected = Expand(tokens);
    BitWriter out;
    WriteBlock(out, tokens);
    MemoryRun run = DecodeStream(out.Finish(), (uint32_t)expected.size(), expected);
    ASSERT_EQ(1, run.result);
    EXPECT_EQ(expected, FileBytes(run.files[0]));
    EXPECT_EQ((std::vector<uint32_t>{262144, 15}), run.files[0].writes);
}

// Every short distance with lengths around the copies' steps (8, 16, 32
// bytes), far enough into a member that the fast paths take them, each one
// between literals; the member then fills the window. In a second member,
// references reach before its start from 40 bytes in.
TEST(Lh5Decoder, ReferencesOfEveryShortDistanceAndStep)
{
    std::vector<Lh5Token> tokens = Literals(RandomBytes(300, 50));
    for (unsigned distance = 1; distance <= 40; ++distance) {
        for (unsigned length : {3u, 7u, 8u, 9u, 15u, 16u, 17u, 31u, 32u, 33u, 48u, 256u}) {
            tokens.push_back(Lh5Token::Reference(length, distance));
            tokens.push_back(Lh5Token::Literal((uint8_t)(distance * 7 + length)));
        }
    }
    // A block of their own gives them short codes, which the fast paths take.
    BitWriter out;
    WriteBlock(out, tokens);
    std::vector<Lh5Token> rest = GreedyTokens(TextBytes(kWindow - Expand(tokens).size(), 52));
    WriteBlock(out, rest);
    tokens.insert(tokens.end(), rest.begin(), rest.end());
    const Bytes window = Expand(tokens);
    ASSERT_EQ(kWindow, window.size());
    MemoryRun run = DecodeStream(out.Finish(), (uint32_t)window.size(), window);
    ASSERT_EQ(1, run.result);
    EXPECT_EQ(window, FileBytes(run.files[0]));

    std::vector<Lh5Token> second = Literals(RandomBytes(40, 51));
    for (unsigned distance : {41u, 100u, 5000u, 8192u})
        second.push_back(Lh5Token::Reference(256, distance));
    second.push_back(Lh5Token::Reference(40, 41));
    Bytes made;
    for (const Lh5Token& token : second) {
        for (unsigned i = 0; i < (token.symbol < 256 ? 1 : token.symbol - 253); ++i) {
            uint8_t byte = token.symbol < 256 ? (uint8_t)token.symbol
                           : made.size() >= token.distance ? made[made.size() - token.distance]
                                                           : window[kWindow - token.distance + made.size()];
            made.push_back(byte);
        }
    }
    BitWriter secondStream;
    WriteBlock(secondStream, second);
    run = ExtractInMemory(ArchiveOf({StreamMember(secondStream.Finish(), (uint32_t)made.size(), made)}));
    ASSERT_EQ(1, run.result);
    EXPECT_EQ(made, FileBytes(run.files[0]));
}

TEST(Lh5Decoder, LongRunsRepeatTheLastByte)
{
    Bytes runs(300000, 'r');
    runs.insert(runs.end(), 1000, 's');
    std::vector<Lh5Token> tokens = GreedyTokens(runs);
    ASSERT_EQ('r', tokens[0].symbol);
    ASSERT_EQ(509u, tokens[1].symbol); // length 256
    ASSERT_EQ(1u, tokens[1].distance);
    MemoryRun run = ExtractInMemory(ArchiveOf({Lh5Member("runs", runs)}));
    ASSERT_EQ(1, run.result);
    EXPECT_EQ(runs, FileBytes(run.files[0]));
}

TEST(Lh5Decoder, AReferencePastTheOriginalSizeIsWrittenWhole)
{
    std::vector<Lh5Token> tokens = Literals(BytesOf("abcde"));
    tokens.push_back(Lh5Token::Reference(10, 5));
    Bytes whole = Expand(tokens);
    BitWriter out;
    WriteBlock(out, tokens);
    Bytes stream = out.Finish();

    MemoryRun run = DecodeStream(stream, 10, whole);
    ASSERT_EQ(1, run.result);
    EXPECT_EQ(whole, FileBytes(run.files[0]));
    EXPECT_EQ(std::vector<uint32_t>{15}, run.files[0].writes);

    // Its CRC is that of all 15 bytes, not of the 10 the header announces.
    run = DecodeStream(stream, 10, Bytes(whole.begin(), whole.begin() + 10));
    EXPECT_EQ(kExtractDataError, run.result);
    EXPECT_EQ(whole, FileBytes(run.files[0]));
}

TEST(Lh5Decoder, StreamsThatNeedBitsPastTheArchiveAreDamaged)
{
    // The last block is a single-code block of NULs, all zero bits after its
    // count. Whole, the stream may end the archive (no end mark): only the
    // reader's look-ahead passes the end.
    Bytes content = TextBytes(2000, 45);
    std::vector<Lh5Token> tokens = GreedyTokens(content);
    BitWriter out;
    WriteBlock(out, tokens);
    WriteBlock(out, std::vector<Lh5Token>(3, Lh5Token::Literal(0)));
    Bytes stream = out.Finish();
    Bytes expected = content;
    expected.insert(expected.end(), 3, 0);
    MemoryRun whole = ExtractInMemory(ArchiveOf({StreamMember(stream, (uint32_t)expected.size(), expected)}, false));
    ASSERT_EQ(1, whole.result);
    EXPECT_EQ(expected, FileBytes(whole.files[0]));

    // Without its zero bytes the stream takes bits that are not there.
    while (stream.back() == 0)
        stream.pop_back();
    MemoryRun cut = ExtractInMemory(ArchiveOf({StreamMember(stream, (uint32_t)expected.size(), expected)}, false));
    EXPECT_EQ(kExtractDataError, cut.result);
    EXPECT_EQ(FAILURE_DATA_PAST_END, GetExtractFailure().reason);
    ASSERT_EQ(1u, cut.files.size());
    EXPECT_FALSE(cut.files[0].kept);

    // No data at all and 4 GiB to make: the first block header already runs
    // past the end, before anything is written.
    MemberSpec endless = StreamMember(Bytes(), 0xFFFFFFFFu, Bytes());
    MemoryRun bomb = ExtractInMemory(ArchiveOf({endless}, false));
    EXPECT_EQ(kExtractDataError, bomb.result);
    EXPECT_EQ(FAILURE_DATA_PAST_END, GetExtractFailure().reason);
    ASSERT_EQ(1u, bomb.files.size());
    EXPECT_EQ(0u, bomb.files[0].size);
}

TEST(Lh5Decoder, DamagedStreamsAreCaughtByTheCrc)
{
    Bytes content = TextBytes(50000, 46);
    MemberSpec member = Lh5Member("damaged", content);
    member.data[member.data.size() / 2] ^= 0x10;
    MemoryRun run = ExtractInMemory(ArchiveOf({member}));
    EXPECT_EQ(kExtractDataError, run.result);
}

} // namespace
