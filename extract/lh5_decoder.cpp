// The -lh5- (and -lh4-) decoder. The stream is read from memberData on to the
// archive's end and as zero bytes beyond it, so that the reader's look-ahead
// may pass the end; it keeps no count of the member's packed bytes. A stream
// that consumes any of those zero bits is damaged: that is checked whenever a
// block header is read, before each window flush and at the member's end, so
// a stream cut short fails before it can write more than a window.
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
// which the following load puts in the same place again.
static inline void Refill(uint64_t& bitBuf, unsigned& bitCount, const unsigned char*& in,
                          const unsigned char* end)
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

static unsigned GetBits(unsigned count)
{
    ExtractState& s = extractState;
    Refill(s.bitBuf, s.bitCount, s.memberData, s.archiveEnd);
    unsigned value = (unsigned)(s.bitBuf >> (64 - count));
    s.bitBuf <<= count;
    s.bitCount -= count;
    return value;
}

static void FillBits(unsigned count)
{
    ExtractState& s = extractState;
    Refill(s.bitBuf, s.bitCount, s.memberData, s.archiveEnd);
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
        Refill(s.bitBuf, s.bitCount, s.memberData, s.archiveEnd);
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
// loop's registers.
#define COLD __attribute__((noinline, cold))

// The full window's flush from the symbol loop, whose reader stands at in and
// bitCount.
static COLD int FlushFullWindow(const unsigned char* in, unsigned bitCount)
{
    if (ConsumedPastEnd(in, bitCount))
        return AbortExtraction(kExtractDataError, FAILURE_DATA_PAST_END);
    return FlushWindow();
}

// The block's symbol count less one; a count of 0 gives 65,536 symbols.
static COLD int ReadBlockHeader()
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

    while (left > 0) {
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
        entry = s.ptTable[bitBuf >> (64 - kPtTableBits)];
        if (entry & kNode)
            entry = WalkTree(entry, bitBuf, (uint64_t)1 << (63 - kPtTableBits));
        used = LeafLength(entry);
        bitBuf <<= used;
        bitCount -= used;
        unsigned distance = LeafSymbol(entry);
        if (distance >= 2) {
            unsigned extraBits = distance - 1;
            distance = (1u << extraBits) + (unsigned)(bitBuf >> (64 - extraBits));
            bitBuf <<= extraBits;
            bitCount -= extraBits;
        }
        distance += 1;

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
