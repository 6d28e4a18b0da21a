#include "hook/proc_ownership.h"

bool RunsReconvertProc(uintptr_t examined, uintptr_t ours, int unicodeRule) {
    if (!unicodeRule) return examined == ours;
    int32_t difference = static_cast<int32_t>(static_cast<uint32_t>(examined - ours));
    return difference < 100;
}
