// Helpers shared by the fuzz targets: reading the input, choosing the code
// page a run works under, and the reference reading of double-byte text.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <vector>

#include "common/test_text.h"
#include "module/byte_classes.h"

// Stops the run with a message when an invariant does not hold. libFuzzer
// (and the corpus replay) report the abort as a finding and keep the input.
#define FUZZ_CHECK(condition, ...)                                                  \
    do {                                                                            \
        if (!(condition)) {                                                         \
            fprintf(stderr, "\ninvariant broken at %s:%d: %s\n  ", __FILE__, __LINE__, \
                    #condition);                                                    \
            fprintf(stderr, __VA_ARGS__);                                           \
            fprintf(stderr, "\n");                                                  \
            abort();                                                                \
        }                                                                           \
    } while (0)

// Reads a fuzz input front to back; past its end every read gives zero bytes.
class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    uint16_t U16() { return static_cast<uint16_t>(Byte() | Byte() << 8); }
    uint32_t U32() { return static_cast<uint32_t>(U16()) | static_cast<uint32_t>(U16()) << 16; }
    void Bytes(uint8_t* out, size_t n) {
        for (size_t i = 0; i < n; ++i) out[i] = Byte();
    }
    // Everything not read yet.
    const uint8_t* Rest() const { return data_ + pos_; }
    size_t Remaining() const { return size_ - pos_; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

// The code page a run works under. The first input byte (modulo 8) picks it:
//   0 932, 1 936, 2 949, 3 950, 4 1361 (the built-in ranges), 7 932 again,
//   5 a made-up code page whose description follows in the next 13 bytes
//     (maximum character size modulo 4, then the 12 lead-byte list bytes),
//   6 a code page the platform knows nothing about (all single-byte).
struct CodePageChoice {
    unsigned int codePage;
    bool madeUp;
    CODEPAGEDESCRIPTION description;
    // Some byte of 0x80 or below is a lead byte. No real code page has one,
    // and LastCharWidth's short cut relies on there being none.
    bool lowLeadBytes;
};

// Reads the choice from the input and fills the byte classes (and selects the
// ANSI conversion) for it.
CodePageChoice ChooseCodePage(FuzzInput& in);

// The reference reading of text from its start under the page chosen (see
// common/test_text.h).
inline std::vector<bool> CharacterStarts(const uint8_t* text, size_t length) {
    return CharacterStarts(text, length, IsLeadByte);
}

// True when a lead byte at `i` starts a two-byte character of `text` read from
// its start (i < starts.size() - 1).
inline bool LeadStartsAt(const std::vector<bool>& starts, const uint8_t* text, size_t i) {
    return starts[i] && IsLeadByte(text[i]);
}

// A lead byte followed by a trail byte.
inline bool IsValidPair(const uint8_t* p) { return IsLeadByte(p[0]) && IsTrailByte(p[1]); }
