// The engine's state record and its abort, which every unit of the engine
// shares. Internal to extract/: callers use extract.h.
#pragma once
#include <stdint.h>

#include "extract/crc16.h"
#include "extract/extract.h"
#include "extract/member_header.h"

const uint32_t kWindowSize = 262144;
const uint32_t kPathCapacity = 260; // MAX_PATH

const unsigned kCharSymbols = 510;    // 256 literals and lengths 3 to 256
const unsigned kPtSymbols = 19;       // the code-length code; the position code uses 14 of them
const unsigned kPositionSymbols = 14;
const unsigned kCharTableBits = 12;
const unsigned kPtTableBits = 8;
// Every tree node a table build creates, numbered from the code's symbol count
// up; the char/length code needs fewer than 510 nodes of its own.
const unsigned kTreeNodes = 2 * kCharSymbols;

// The decoder's run loop (lh5_decoder.cpp) and its table: for the packer on
// 64-bit hosts. With 32-bit registers it decodes slower than the plain loop,
// and the installer, built for size, keeps to the plain loop alone, which
// MORLU_LH5_PLAIN_LOOP chooses for a fuzzer.
#if !defined(MORLU_INSTALLER_ENGINE) && !defined(MORLU_LH5_PLAIN_LOOP) && UINTPTR_MAX > 0xFFFFFFFFu
#define MORLU_LH5_RUNS 1
#endif

struct ExtractState {
    // The lh5 dictionary and at the same time the output buffer of a member.
    unsigned char window[kWindowSize];
    unsigned char* writePos;

    // lh5 decoder. The reader keeps up to 64 bits of the stream in bitBuf, the
    // first in the top bit; the bits below the bitCount valid ones are zero or
    // already the stream's next bits.
    uint64_t bitBuf;
    unsigned bitCount;
    uint8_t ptLen[kPtSymbols];
    uint8_t cLen[kCharSymbols];
    // Table and tree entries hold a symbol with its code length, or a node
    // (see lh5_decoder.cpp).
    uint16_t ptTable[1 << kPtTableBits];
    uint16_t cTable[1 << kCharTableBits];
    uint16_t oneChild[kTreeNodes];
    uint16_t zeroChild[kTreeNodes];
#ifdef MORLU_LH5_RUNS
    // The run loop's table, made from cTable and ptTable for each block: an
    // entry decodes a literal, or a reference with its position code and
    // extra bits.
    uint64_t symbolTable[1 << kCharTableBits];
    // Row b starts with the byte b: the run loop copies a literal from its
    // row as it copies a reference from the window.
    unsigned char literalRows[257 * 16];
#endif
    uint16_t blockSize; // symbols of the block still to come after the current one

    uint16_t crc;
    uint16_t expectedCrc;
    MemberFile outFile;
    const unsigned char* memberData;
    uint32_t prefixLength;
    unsigned char header[kHeaderCapacity]; // its original-size field is the decoder's remainingOut
    Crc16Table crcTable;
    char path[kPathCapacity];
    uint32_t membersBegun;
    const unsigned char* archivePos;
    uint32_t archiveRemaining;
    const unsigned char* archiveEnd; // the decoder reads zero bytes from here on
    uint32_t bytesPastEnd;           // zero bytes the decoder has read there for this member

    const MemberSink* sink;
    uint32_t headersRead;
    bool nameTerminated; // the current header passed its checks; its name ends in place
    ExtractFailure failure;
    uint16_t failedCrc;
};

// The installer runs the engine on one thread; the packer on several at once,
// each with a state of its own.
#ifdef MORLU_INSTALLER_ENGINE
#define ENGINE_STATE_STORAGE
#else
#define ENGINE_STATE_STORAGE thread_local
#endif
extern ENGINE_STATE_STORAGE ExtractState extractState;

// Closes the open member file, if any, notes why, and gives code back for the
// caller to return: every routine that can fail, in whichever unit, returns 0
// or such a code.
int AbortExtraction(int code, ExtractFailure reason);
