// Known faults, built in on demand so that the test stage can show that each
// check meant to catch one goes red (scripts/fault-check). Configure with
// -DRODAVOZI_FAULT=<name>; the generated rodavozi_fault.h then names one of
// them. Never in a release: such a build refuses to install. A fault's site
// is one condition:
//     if (FAULT_BUILT_IN(PASSWORD_SERVED)) return false;
#pragma once

#define RODAVOZI_FAULT_PASSWORD_SERVED 1      // a password field's text is offered
#define RODAVOZI_FAULT_FILL_PAST_SIZE 2       // a fill writes past the record's dwSize
#define RODAVOZI_FAULT_MODULE_UNPINNED 3      // the module may go while a window is subclassed
#define RODAVOZI_FAULT_CONFIRM_OFF_BY_ONE 4   // the confirmed range is one character long
#define RODAVOZI_FAULT_OWN_FEED_OVERRIDDEN 5  // the control's own document feed is replaced
#define RODAVOZI_FAULT_FEED_RESTARTS_OFFER 6  // a document feed forgets the offer to confirm
#define RODAVOZI_FAULT_WINDOW_FORM_UNITS 7    // positions in the window's form, not the control's units

#include "rodavozi_fault.h"  // RODAVOZI_FAULT_ID, generated in the build folder

#define FAULT_BUILT_IN(name) (RODAVOZI_FAULT_ID == RODAVOZI_FAULT_##name)
