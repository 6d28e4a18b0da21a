// The code page a request's text is worked on in. Normally the process's
// ANSI code page. Where that code page has no double-byte characters (1252,
// 65001, ...), a Unicode window still holds Japanese, Chinese or Korean text
// perfectly well: its text is then classified, cut and checked for round
// trips in the code page of the requesting thread's input language, when
// that one has double-byte characters, exactly as under a system using it.
//
// The byte classes (ByteClassTable) and the conversions of ansi_text follow
// the code page entered. A request that would work in another code page
// than one a thread of the process works in at that moment offers nothing
// rather than waiting for it (a window procedure that waits for another
// thread can deadlock with it).
#pragma once

#include "module/byte_classes.h"

// Stands for the process's ANSI code page in what follows.
const unsigned int CODE_PAGE_ANSI = 0;

// The double-byte code page of an input language (a LANGID): 932 Japanese,
// 936 Chinese (simplified), 950 Chinese (traditional), 949 Korean; else 0.
unsigned int CodePageOfLanguage(unsigned short language);

// The working code page: CODE_PAGE_ANSI where the ANSI code page has
// double-byte characters, else that of `inputLanguage` (CODE_PAGE_ANSI for
// one without).
unsigned int ChooseWorkingCodePage(bool ansiDoubleByte, unsigned short inputLanguage);

// True when ByteClassTable marks any lead byte.
bool TableHasLeadBytes(void);

// Notes, at start-up, whether the ANSI code page (the table as built) has
// double-byte characters.
void NoteAnsiByteClasses(void);
bool AnsiHasDoubleByte(void);

// The working code page of a request on the calling thread (asks the
// platform for its input language).
unsigned int RequestCodePage(void);

// Enters `codePage` for one request's work: switches the byte classes to it
// when no other request of the process works in another one. False (nothing
// entered) when another does.
bool EnterCodePage(unsigned int codePage);
// Leaves it; the last request to leave a code page other than the ANSI one
// puts the ANSI byte classes back.
void LeaveCodePage(void);

// The code page entered (CODE_PAGE_ANSI when none other).
unsigned int WorkCodePage(void);
