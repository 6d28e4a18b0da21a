#include "module/state.h"

// In the DLL the shared record goes into a section of its own that the loader
// maps as one block of memory for all processes. Elsewhere (tests) it is
// ordinary process data.
#if defined(_WIN32) && defined(RODAVOZI_SHARED_SECTION)
__attribute__((section(".share"), shared, aligned(sizeof(void*)))) SHAREDSTATE SharedState = {};
#else
SHAREDSTATE SharedState = {};
#endif

PROCESSSTATE ProcessState = {1, 0, {0}, 0, 0, 0};
