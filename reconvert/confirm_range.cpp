#include "reconvert/confirm_range.h"

uint32_t PackConfirmRange(int caretOffset, uint32_t compOffset, uint32_t compLength, int unicode) {
    uint32_t caret = static_cast<uint32_t>(caretOffset);
    // The composition can only start at or before the caret, on a character.
    uint32_t distance = compOffset >= caret ? 0 : (caret - compOffset) & ~1u;
    uint32_t characters = unicode ? compLength : compLength / 2;
    // A length that does not fit its 16 bits must not spill into the distance.
    uint32_t bytes = characters > 0x7FFF ? 0xFFFE : characters * 2;
    return distance * 65536u + bytes;
}
