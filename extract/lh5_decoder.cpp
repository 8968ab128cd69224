// The -lh5- (and -lh4-) decoder. The stream is read from memberData on to the
// archive's end and as zero bytes beyond it, so that the reader's look-ahead
// may pass the end; it keeps no count of the member's packed bytes. A stream
// that consumes any of those zero bits is damaged: that is checked whenever a
// block header is read, before each window flush and at the member's end, so
// a stream cut short fails before it can write more than a window.
//
// Where the packer runs on a 64-bit host, most symbols take the run loop
// (DecodeRun): a table made for each block decodes a literal, or a reference
// with its position code and extra bits, in one look-up, and both are copied
// alike, without a branch on which it was; the plain loop takes the symbols
// near the ends of the block, the member, the input and the window.
#include "extract/lh5_decoder.h"

#include <string.h>

#include "extract/extract_state.h"
#include "extract/member_output.h"

// Table and tree entries: a leaf holds the length of its code in bits 0-4 and
// the symbol in bits 6-14, so one look-up gives both and the entry itself is
// the shift count (bit 5 stays 0); kNode marks a tree node. Patterns no code
// covers hold symbol 0 with symbol 0's length.
static const uint16_t kNode = 0x8000;

static inline uint16_t Leaf(unsigned symbol, unsigned length)
{
    return (uint16_t)(symbol << 6 | length);
}

static inline unsigned LeafSymbol(uint16_t entry)
{
    return entry >> 6;
}

static inline unsigned LeafLength(uint16_t entry)
{
    return entry & 0x3F;
}

static inline uint64_t LoadBe64(const unsigned char* p)
{
    uint64_t value;
    memcpy(&value, p, 8);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    return value;
#else
    return __builtin_bswap64(value);
#endif
}

// Brings bitCount to at least 56. The fast path loads 8 bytes and counts only
// the whole ones; the bits it leaves below bitCount are those of the next byte,
// which the following load puts in the same place again. Inline even where
// the build optimizes for size: a call for each symbol cost the installer's
// symbol loop a fifth of its speed.
static inline __attribute__((always_inline)) void Refill(uint64_t& bitBuf, unsigned& bitCount,
                                                        const unsigned char*& in, const unsigned char* end)
{
    if (end - in >= 8) {
        bitBuf |= LoadBe64(in) >> bitCount;
        in += (63 - bitCount) >> 3;
        bitCount |= 56;
        return;
    }
    for (; bitCount <= 56; bitCount += 8) {
        if (in < end)
            bitBuf |= (uint64_t)*in++ << (56 - bitCount);
        else
            ++extractState.bytesPastEnd;
    }
}

// Whether the bits consumed so far reach beyond the archive's end: in and
// bitCount say where the reader stands, the zero bytes it has read past the
// end included.
static bool ConsumedPastEnd(const unsigned char* in, unsigned bitCount)
{
    const ExtractState& s = extractState;
    return ((int64_t)(in - s.archiveEnd) + s.bytesPastEnd) * 8 > (int64_t)bitCount;
}

// The block header's reads share one copy of the refill; the symbol loop
// has its own, inline.
static __attribute__((noinline)) void RefillState()
{
    ExtractState& s = extractState;
    Refill(s.bitBuf, s.bitCount, s.memberData, s.archiveEnd);
}

static unsigned GetBits(unsigned count)
{
    ExtractState& s = extractState;
    RefillState();
    unsigned value = (unsigned)(s.bitBuf >> (64 - count));
    s.bitBuf <<= count;
    s.bitCount -= count;
    return value;
}

static void FillBits(unsigned count)
{
    ExtractState& s = extractState;
    RefillState();
    s.bitBuf <<= count;
    s.bitCount -= count;
}

// Follows the tree below a table entry by the stream bits after the table
// index; bit is the first of them. A code of at most 16 bits ends the walk
// inside the 16 bits that the table and the tree look at.
static inline uint16_t WalkTree(uint16_t entry, uint64_t bits, uint64_t bit)
{
    const ExtractState& s = extractState;
    while (entry & kNode) {
        unsigned node = entry & ~kNode;
        entry = bits & bit ? s.oneChild[node] : s.zeroChild[node];
        bit >>= 1;
    }
    return entry;
}

// count is a power of two; four entries go in one 64-bit store.
static inline void FillEntries(uint16_t* entry, uint16_t value, unsigned count)
{
    if (count >= 4) {
        const uint64_t four = value * 0x0001000100010001ull;
        for (unsigned k = 0; k < count; k += 4)
            memcpy(entry + k, &four, 8);
    } else {
        for (unsigned k = 0; k < count; ++k)
            entry[k] = value;
    }
}

// Canonical codes from a length list: shorter codes first, equal lengths in
// symbol order. An over-full list keeps the codes up to the one that fills the
// code space; an incomplete one leaves symbol 0 in the patterns it misses.
// Lengths of 0 and above 16 give no code.
static void BuildTable(unsigned symbols, const uint8_t* lengths, unsigned tableBits, uint16_t* table)
{
    ExtractState& s = extractState;
    const uint16_t unassigned = Leaf(0, lengths[0]);

    // The symbols with a code, by length and then by symbol.
    uint16_t firstOfLength[18] = {};
    for (unsigned symbol = 0; symbol < symbols; ++symbol)
        if (lengths[symbol] >= 1 && lengths[symbol] <= 16)
            ++firstOfLength[lengths[symbol] + 1];
    for (unsigned length = 2; length <= 17; ++length)
        firstOfLength[length] = (uint16_t)(firstOfLength[length] + firstOfLength[length - 1]);
    uint16_t ordered[kCharSymbols];
    for (unsigned symbol = 0; symbol < symbols; ++symbol)
        if (lengths[symbol] >= 1 && lengths[symbol] <= 16)
            ordered[firstOfLength[lengths[symbol]]++] = (uint16_t)symbol;
    unsigned coded = firstOfLength[16];

    // Codes come in increasing order: each table entry is written once, and
    // those after the last code are the patterns no code covers.
    unsigned nextNode = symbols;
    unsigned treeIndex = ~0u; // the entry whose tree takes the longer codes
    uint32_t code = 0;        // the current code at the top of 16 bits
    for (unsigned i = 0; i < coded && code < 0x10000; ++i) {
        const unsigned symbol = ordered[i];
        const unsigned length = lengths[symbol];
        const uint16_t leaf = Leaf(symbol, length);
        const unsigned index = code >> (16 - tableBits);
        if (length <= tableBits) {
            FillEntries(table + index, leaf, 1u << (tableBits - length));
        } else {
            if (index != treeIndex) {
                s.oneChild[nextNode] = unassigned;
                s.zeroChild[nextNode] = unassigned;
                table[index] = (uint16_t)(kNode | nextNode++);
                treeIndex = index;
            }
            uint16_t* slot = table + index;
            for (int bit = 15 - (int)tableBits; bit >= 16 - (int)length; --bit) {
                if (!(*slot & kNode)) {
                    s.oneChild[nextNode] = unassigned;
                    s.zeroChild[nextNode] = unassigned;
                    *slot = (uint16_t)(kNode | nextNode++);
                }
                unsigned node = *slot & ~kNode;
                slot = code >> bit & 1 ? &s.oneChild[node] : &s.zeroChild[node];
            }
            *slot = leaf;
        }
        code += 0x10000u >> length;
    }
    const unsigned covered = (code + (0xFFFFu >> tableBits)) >> (16 - tableBits);
    for (unsigned index = covered; index < 1u << tableBits; ++index)
        table[index] = unassigned;
}

#ifdef MORLU_LH5_RUNS
// The run loop's entries. Bits 0-5 hold the bits an entry takes: a literal's
// code, or a reference's char code, position code and extra bits. Bits 8-16
// hold the bytes it makes (1 for a literal), bits 20-31 a literal's row in
// literalRows, and bits 32-63 what, added to those bits read as one number,
// gives the distance. kUnusual entries take no bits: their symbol is decoded
// from cTable, the trees and ptTable (a code longer than the table, a
// reference whose position code lies beyond it, a code of no bits).
static const uint64_t kUnusual = 0x40;
static const uint64_t kReference = 0x80;

// count is a power of two; four entries go in two 16-byte stores.
static inline void FillSymbolEntries(uint64_t* entries, uint64_t value, unsigned count)
{
    if (count < 4) {
        for (unsigned k = 0; k < count; ++k)
            entries[k] = value;
        return;
    }
    const uint64_t two[2] = {value, value};
    for (unsigned k = 0; k < count; k += 4) {
        memcpy(entries + k, two, 16);
        memcpy(entries + k + 2, two, 16);
    }
}

// A literal's distance is 16 whatever its code's bits: the run loop's test
// of a reference's distance lets it through.
static uint64_t LiteralEntry(unsigned index, unsigned codeLength, unsigned symbol)
{
    const int32_t code = (int32_t)(index >> (kCharTableBits - codeLength));
    return (uint64_t)(uint32_t)(16 - code) << 32 | symbol << 24 | 1u << 8 | codeLength;
}

// The entries of a reference of length bytes whose char code, of codeLength
// bits, starts at index: the index bits after the char code start its
// position code, which the position code's entry at the index shifted by the
// char code holds whatever the bits after it, and where that code fits
// within them an entry holds both codes and the extra bits.
static void BuildReferenceEntries(unsigned index, unsigned codeLength, unsigned length)
{
    ExtractState& s = extractState;
    const unsigned room = kCharTableBits - codeLength;
    for (unsigned rest = 0; rest < 1u << room;) {
        const uint16_t position = s.ptTable[rest << codeLength >> (kCharTableBits - kPtTableBits)];
        const unsigned positionLength = LeafLength(position);
        unsigned count = 1;
        uint64_t entry = kUnusual;
        if (!(position & kNode) && positionLength <= room) {
            count = rest & ((1u << (room - positionLength)) - 1) ? 1 : 1u << (room - positionLength);
            const unsigned slot = LeafSymbol(position);
            const unsigned extraBits = slot >= 2 ? slot - 1 : 0;
            const unsigned bits = codeLength + positionLength + extraBits;
            const int32_t codes = (int32_t)((index + rest) >> (room - positionLength));
            const int32_t base = (int32_t)(slot >= 2 ? 1u << extraBits : slot) + 1;
            if (bits > 0)
                entry = (uint64_t)(uint32_t)(base - (codes << extraBits)) << 32 | length << 8 | kReference | bits;
        }
        FillSymbolEntries(s.symbolTable + index + rest, entry, count);
        rest += count;
    }
}

// Range by range: a code of the table fills a range aligned to its size,
// which the walk lands on; the patterns no code covers, after the last code,
// go one by one where they are not so aligned.
static void BuildSymbolTable()
{
    ExtractState& s = extractState;
    for (unsigned index = 0; index < 1u << kCharTableBits;) {
        const uint16_t leaf = s.cTable[index];
        const unsigned symbol = LeafSymbol(leaf);
        const unsigned codeLength = LeafLength(leaf);
        unsigned count = 1;
        if (!(leaf & kNode) && codeLength <= kCharTableBits)
            count = index & ((1u << (kCharTableBits - codeLength)) - 1) ? 1 : 1u << (kCharTableBits - codeLength);
        if (leaf & kNode || codeLength == 0 || codeLength > kCharTableBits)
            FillSymbolEntries(s.symbolTable + index, kUnusual, count);
        else if (symbol < 256)
            FillSymbolEntries(s.symbolTable + index, LiteralEntry(index, codeLength, symbol), count);
        else
            BuildReferenceEntries(index, codeLength, symbol - 253);
        index += count;
    }
}
#endif

static const unsigned kNoSpecialIndex = ~0u;

// The code-length code has a 2-bit zero run after its third length (special
// index 3); the position code has none.
static int ReadPtLengths(unsigned symbols, unsigned countBits, unsigned specialIndex)
{
    ExtractState& s = extractState;
    unsigned count = GetBits(countBits);
    if (count > symbols)
        return AbortExtraction(kExtractDataError, FAILURE_BAD_CODE_COUNT);
    if (count == 0) {
        memset(s.ptLen, 0, symbols);
        unsigned symbol = GetBits(countBits);
        if (symbol >= symbols)
            return AbortExtraction(kExtractDataError, FAILURE_BAD_SINGLE_CODE);
        for (unsigned i = 0; i < 1u << kPtTableBits; ++i)
            s.ptTable[i] = Leaf(symbol, 0);
        return 0;
    }

    unsigned i = 0;
    while (i < count) {
        unsigned length = GetBits(3);
        if (length == 7) {
            // Each 1 bit adds one; a 0 ends the run, and after 16 ones the next bit goes too.
            unsigned top = (unsigned)(s.bitBuf >> 48);
            unsigned ones = 0;
            while (ones < 16 && (top & 0x8000u >> ones))
                ++ones;
            FillBits(ones + 1);
            length += ones;
        }
        s.ptLen[i++] = (uint8_t)length;
        if (i == specialIndex) {
            for (unsigned zeros = GetBits(2); zeros > 0; --zeros)
                s.ptLen[i++] = 0;
        }
    }
    for (; i < symbols; ++i)
        s.ptLen[i] = 0;
    BuildTable(symbols, s.ptLen, kPtTableBits, s.ptTable);
    return 0;
}

static int ReadCharLengths()
{
    ExtractState& s = extractState;
    unsigned count = GetBits(9);
    if (count > kCharSymbols)
        return AbortExtraction(kExtractDataError, FAILURE_BAD_CODE_COUNT);
    if (count == 0) {
        memset(s.cLen, 0, sizeof s.cLen);
        unsigned symbol = GetBits(9);
        if (symbol >= kCharSymbols)
            return AbortExtraction(kExtractDataError, FAILURE_BAD_SINGLE_CODE);
        for (unsigned i = 0; i < 1u << kCharTableBits; ++i)
            s.cTable[i] = Leaf(symbol, 0);
        return 0;
    }

    unsigned i = 0;
    while (i < count) {
        RefillState();
        uint16_t entry = s.ptTable[s.bitBuf >> (64 - kPtTableBits)];
        entry = WalkTree(entry, s.bitBuf, (uint64_t)1 << (63 - kPtTableBits));
        FillBits(LeafLength(entry));
        unsigned symbol = LeafSymbol(entry);
        if (symbol <= 2) {
            unsigned zeros = symbol == 0 ? 1 : symbol == 1 ? GetBits(4) + 3 : GetBits(9) + 20;
            // A run past the last length stops there.
            for (; zeros > 0 && i < kCharSymbols; --zeros)
                s.cLen[i++] = 0;
        } else {
            s.cLen[i++] = (uint8_t)(symbol - 2);
        }
    }
    for (; i < kCharSymbols; ++i)
        s.cLen[i] = 0;
    BuildTable(kCharSymbols, s.cLen, kCharTableBits, s.cTable);
    return 0;
}

// Kept out of line, like the edge copy: inlined, they would crowd the symbol
// loop's registers. A block header is out of line but not cold: small members
// read one for every few thousand bytes.
#define COLD __attribute__((noinline, cold))
#define NOINLINE __attribute__((noinline))

// The full window's flush from the symbol loop, whose reader stands at in and
// bitCount.
static COLD int FlushFullWindow(const unsigned char* in, unsigned bitCount)
{
    if (ConsumedPastEnd(in, bitCount))
        return AbortExtraction(kExtractDataError, FAILURE_DATA_PAST_END);
    return FlushWindow();
}

// The block's symbol count less one; a count of 0 gives 65,536 symbols.
static NOINLINE int ReadBlockHeader()
{
    ExtractState& s = extractState;
    s.blockSize = (uint16_t)(GetBits(16) - 1);
    int code = ReadPtLengths(kPtSymbols, 5, 3);
    if (code == 0)
        code = ReadCharLengths();
    if (code == 0)
        code = ReadPtLengths(kPositionSymbols, 4, kNoSpecialIndex);
    if (code == 0 && ConsumedPastEnd(s.memberData, s.bitCount))
        code = AbortExtraction(kExtractDataError, FAILURE_DATA_PAST_END);
#ifdef MORLU_LH5_RUNS
    if (code == 0)
        BuildSymbolTable();
#endif
    return code;
}

// A reference whose source starts before the window or that meets the
// window's end: byte by byte, wrapping the source and flushing the output.
// Returns the new output position, or null after a failed flush (*code).
static COLD unsigned char* CopyAcrossWindowEdge(unsigned char* out, unsigned distance, unsigned length,
                                                const unsigned char* in, unsigned bitCount, int* code)
{
    ExtractState& s = extractState;
    unsigned char* const windowEnd = s.window + kWindowSize;
    uint32_t at = (uint32_t)(out - s.window);
    const unsigned char* from = s.window + (at >= distance ? at - distance : at + kWindowSize - distance);
    for (; length > 0; --length) {
        *out++ = *from++;
        if (out == windowEnd) {
            s.writePos = out;
            *code = FlushFullWindow(in, bitCount);
            if (*code != 0)
                return nullptr;
            out = s.window;
        }
        if (from == windowEnd)
            from = s.window;
    }
    return out;
}

// Copies in steps of Step bytes, the last one ending at the reference's end and
// perhaps overlapping the one before it (writing the same bytes again). With a
// distance of at least Step no step reads what it writes itself.
template <unsigned Step>
static inline void CopyInSteps(unsigned char* out, const unsigned char* from, unsigned length)
{
    for (unsigned done = 0; done + Step < length; done += Step)
        memcpy(out + done, from + done, Step);
    memcpy(out + length - Step, from + length - Step, Step);
}

// A reference inside the window: each byte is read after the one before it is
// stored, so a short distance repeats the bytes it has just produced. Lengths
// are 3 to 256; nothing is written past the reference's end.
static inline void CopyInsideWindow(unsigned char* out, unsigned distance, unsigned length)
{
    const unsigned char* from = out - distance;
    if (distance >= 8 && length >= 8)
        CopyInSteps<8>(out, from, length);
    else if (distance >= 4 && length >= 4)
        CopyInSteps<4>(out, from, length);
    else if (distance >= 2)
        CopyInSteps<2>(out, from, length);
    else
        memset(out, out[-1], length);
}

// Bytes ahead of the output are read only by references reaching before the
// window's start, that is within the window's last 8,192 bytes. Before them a
// copy may run up to kCopySlack bytes past its end: later output overwrites
// those bytes before anything reads them.
const unsigned kFarthestDistance = 8192;
const unsigned kCopySlack = 32;

static inline void CopyWithSlack(unsigned char* out, unsigned distance, unsigned length)
{
    const unsigned char* from = out - distance;
    unsigned char* const end = out + length;
    if (distance >= 16) {
        memcpy(out, from, 16);
        memcpy(out + 16, from + 16, 16);
        for (out += 32, from += 32; out < end; out += 16, from += 16)
            memcpy(out, from, 16);
    } else if (distance >= 8) {
        do {
            memcpy(out, from, 8);
            out += 8;
            from += 8;
        } while (out < end);
    } else {
        CopyInsideWindow(out, distance, length);
    }
}

// A position code and its extra bits, through the tables and trees: the
// reader holds at least 35 bits. Returns the distance.
static inline unsigned DecodeDistance(uint64_t& bitBuf, unsigned& bitCount)
{
    const ExtractState& s = extractState;
    uint16_t entry = s.ptTable[bitBuf >> (64 - kPtTableBits)];
    if (entry & kNode)
        entry = WalkTree(entry, bitBuf, (uint64_t)1 << (63 - kPtTableBits));
    unsigned used = LeafLength(entry);
    bitBuf <<= used;
    bitCount -= used;
    unsigned distance = LeafSymbol(entry);
    if (distance >= 2) {
        unsigned extraBits = distance - 1;
        distance = (1u << extraBits) + (unsigned)(bitBuf >> (64 - extraBits));
        bitBuf <<= extraBits;
        bitCount -= extraBits;
    }
    return distance + 1;
}

#ifdef MORLU_LH5_RUNS
// Room a run keeps before slackEnd: a longest reference and its slack.
const unsigned kRunRoom = 256 + kCopySlack;

// A symbol takes at most 44 bits: 16 of char code, and 28 of position code
// and extra bits (a code of 16 bits and 12 extra bits, or symbol 0's 23 where
// no code covers the bits). A run refills after each: the first refill moves
// the reader by 7 bytes at most, each later one by 6, and the k-th symbol's
// refill loads 8 bytes from 7 + 6 (k - 1) bytes on, 6 k + 9 bytes in all.
static inline uint32_t SymbolsTheInputHolds(const unsigned char* in, const unsigned char* end)
{
    return end - in >= 15 ? (uint32_t)(end - in - 9) / 6 : 0;
}

// The run loop's refill. Only the low six bits of bitCount count: the loop
// subtracts whole table entries, whose other fields lie above them.
static inline void RefillEight(uint64_t& bitBuf, unsigned& bitCount, const unsigned char*& in)
{
    bitBuf |= LoadBe64(in) >> (bitCount & 63);
    in += (~bitCount & 63) >> 3;
    bitCount |= 56;
}

// A reference whose source starts before the window, far from the window's
// end: its source wraps, its output does not.
static COLD void CopyFromWindowEnd(unsigned char* out, unsigned distance, unsigned length)
{
    unsigned char* const windowEnd = extractState.window + kWindowSize;
    const unsigned char* from = out + kWindowSize - distance;
    for (; length > 0; --length) {
        *out++ = *from++;
        if (from == windowEnd)
            from = extractState.window;
    }
}

// A reference of the run loop that its 32-byte copy cannot take.
static NOINLINE unsigned char* CopyUncommonReference(unsigned char* out, unsigned distance, unsigned length)
{
    if (distance > (uint32_t)(out - extractState.window))
        CopyFromWindowEnd(out, distance, length);
    else
        CopyWithSlack(out, distance, length);
    return out + length;
}

struct BitReader {
    uint64_t bitBuf;
    unsigned bitCount;
    const unsigned char* in;
};

// Decodes up to *symbols symbols (counted down) into out, and stops once out
// reaches limit; returns the new output position. The caller sees to it that
// the input holds that many symbols (SymbolsTheInputHolds), that out lies 16
// bytes or more into the window and that limit keeps kRunRoom before
// slackEnd: no symbol then needs a test of the input or a flush. Each symbol
// leaves at least 12 of the 56 bits a refill gives, enough for the next
// entry, which is looked up before the copy.
static NOINLINE unsigned char* DecodeRun(BitReader& reader, unsigned char* out, unsigned char* const limit,
                                         uint32_t* symbols)
{
    ExtractState& s = extractState;
    const uint64_t* const table = s.symbolTable;
    const unsigned char* const rows = s.literalRows;
    const unsigned char* const window = s.window;
    uint64_t bitBuf = reader.bitBuf;
    unsigned bitCount = reader.bitCount;
    const unsigned char* in = reader.in;
    uint32_t left = *symbols;

    RefillEight(bitBuf, bitCount, in);
    uint64_t entry = table[bitBuf >> (64 - kCharTableBits)];
    do {
        if (!(entry & kUnusual)) {
            // Literal or reference: which one selects the source, not a branch.
            const unsigned bits = entry & 63;
            const uint32_t value = (uint32_t)(bitBuf >> (-bits & 63));
            bitBuf <<= bits;
            bitCount -= (unsigned)entry;
            const unsigned length = entry >> 8 & 0x1FF;
            const unsigned distance = value + (uint32_t)(entry >> 32);
            const uintptr_t reference = 0 - (uintptr_t)(entry >> 7 & 1);
            const uintptr_t row = (uintptr_t)(rows + (entry >> 20 & 0xFF0));
            const unsigned char* const from =
                (const unsigned char*)(row ^ (((uintptr_t)(out - distance) ^ row) & reference));
            const uint32_t reach = (uint32_t)(out - window) - 16;
            entry = table[bitBuf >> (64 - kCharTableBits)];
            RefillEight(bitBuf, bitCount, in);
            // A distance below 16 would have the copy read what it writes, one
            // beyond reach + 16 a source before the window (a literal's is 16).
            if (distance - 16 > reach || length > 32) {
                out = CopyUncommonReference(out, distance, length);
            } else {
                memcpy(out, from, 16);
                memcpy(out + 16, from + 16, 16);
                out += length;
            }
            continue;
        }
        uint16_t leaf = s.cTable[bitBuf >> (64 - kCharTableBits)];
        if (leaf & kNode)
            leaf = WalkTree(leaf, bitBuf, (uint64_t)1 << (63 - kCharTableBits));
        bitBuf <<= LeafLength(leaf);
        bitCount -= LeafLength(leaf);
        if (LeafSymbol(leaf) < 256)
            *out++ = (unsigned char)LeafSymbol(leaf);
        else
            out = CopyUncommonReference(out, DecodeDistance(bitBuf, bitCount), LeafSymbol(leaf) - 253);
        entry = table[bitBuf >> (64 - kCharTableBits)];
        RefillEight(bitBuf, bitCount, in);
    } while (--left > 0 && out < limit);

    reader.bitBuf = bitBuf;
    reader.bitCount = bitCount & 63;
    reader.in = in;
    *symbols = left;
    return out;
}
#endif

// The symbol loop, with the reader and the output position in locals.
// *remaining is the original size counted down by each symbol's bytes.
static int DecodeSymbols(uint32_t* remaining)
{
    ExtractState& s = extractState;
    uint64_t bitBuf = s.bitBuf;
    unsigned bitCount = s.bitCount;
    const unsigned char* in = s.memberData;
    const unsigned char* const end = s.archiveEnd;
    unsigned char* out = s.writePos;
    unsigned char* const windowEnd = s.window + kWindowSize;
    unsigned char* const slackEnd = windowEnd - kFarthestDistance;
    unsigned blockSize = s.blockSize;
    uint32_t left = *remaining;
    int code = 0;
#ifdef MORLU_LH5_RUNS
    unsigned char* const runEnd = slackEnd - kRunRoom;
#endif

    while (left > 0) {
#ifdef MORLU_LH5_RUNS
        uint32_t symbols = SymbolsTheInputHolds(in, end);
        if (symbols > blockSize)
            symbols = blockSize;
        if (symbols > 0 && out < runEnd && out - s.window >= 16) {
            unsigned char* const limit = (uint32_t)(runEnd - out) < left ? runEnd : out + left;
            BitReader reader = {bitBuf, bitCount, in};
            unsigned char* const runStart = out;
            blockSize -= symbols;
            out = DecodeRun(reader, out, limit, &symbols);
            blockSize += symbols;
            bitBuf = reader.bitBuf;
            bitCount = reader.bitCount;
            in = reader.in;
            const uint32_t made = (uint32_t)(out - runStart);
            left = made < left ? left - made : 0;
            continue;
        }
#endif
        if (blockSize == 0) {
            s.bitBuf = bitBuf;
            s.bitCount = bitCount;
            s.memberData = in;
            code = ReadBlockHeader();
            bitBuf = s.bitBuf;
            bitCount = s.bitCount;
            in = s.memberData;
            blockSize = s.blockSize;
            if (code != 0)
                break;
        } else {
            --blockSize;
        }

        // A char code takes at most 16 bits, a position code 23 and its extra
        // bits 12: one refill serves up to three literals.
        if (bitCount < 16)
            Refill(bitBuf, bitCount, in, end);
        uint16_t entry = s.cTable[bitBuf >> (64 - kCharTableBits)];
        if (entry & kNode)
            entry = WalkTree(entry, bitBuf, (uint64_t)1 << (63 - kCharTableBits));
        unsigned used = LeafLength(entry);
        bitBuf <<= used;
        bitCount -= used;
        unsigned symbol = LeafSymbol(entry);

        if (symbol < 256) {
            *out++ = (unsigned char)symbol;
            --left;
            if (out == windowEnd) {
                s.writePos = out;
                code = FlushFullWindow(in, bitCount);
                if (code != 0)
                    break;
                out = s.window;
            }
            continue;
        }

        unsigned length = symbol - 253;
        if (bitCount < 35)
            Refill(bitBuf, bitCount, in, end);
        unsigned distance = DecodeDistance(bitBuf, bitCount);

        if (distance <= (uint32_t)(out - s.window) && out + length + kCopySlack <= slackEnd) {
            CopyWithSlack(out, distance, length);
            out += length;
        } else if (distance <= (uint32_t)(out - s.window) && length < (uint32_t)(windowEnd - out)) {
            CopyInsideWindow(out, distance, length);
            out += length;
        } else {
            unsigned char* next = CopyAcrossWindowEdge(out, distance, length, in, bitCount, &code);
            if (next == nullptr)
                break;
            out = next;
        }
        // A reference may carry the member past its size; it is written whole.
        left = length < left ? left - length : 0;
    }

    s.bitBuf = bitBuf;
    s.bitCount = bitCount;
    s.memberData = in;
    s.blockSize = (uint16_t)blockSize;
    s.writePos = out;
    *remaining = left;
    return code;
}

int DecodeLh5Member()
{
    ExtractState& s = extractState;
#ifdef MORLU_LH5_RUNS
    for (unsigned byte = 0; byte < 256; ++byte)
        s.literalRows[16 * byte] = (unsigned char)byte;
#endif
    s.blockSize = 0;
    s.bitBuf = 0;
    s.bitCount = 0;
    s.bytesPastEnd = 0;
    s.writePos = s.window;
    unsigned char* remainingOut = s.header + kHeaderOriginalSize;
    uint32_t remaining = LoadLe32(remainingOut);
    int code = DecodeSymbols(&remaining);
    for (int i = 0; i < 4; ++i)
        remainingOut[i] = (unsigned char)(remaining >> 8 * i);
    if (code != 0)
        return code;
    if (ConsumedPastEnd(s.memberData, s.bitCount))
        return AbortExtraction(kExtractDataError, FAILURE_DATA_PAST_END);
    return FlushWindow();
}
