#include "support/edit_dialog.h"

#include <stdint.h>
#include <string.h>

namespace {

INT_PTR CALLBACK PlainDialog(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

}  // namespace

HWND EditInADialog() {
    alignas(4) static WORD t[64];
    memset(t, 0, sizeof t);
    DLGTEMPLATE* d = reinterpret_cast<DLGTEMPLATE*>(t);
    d->style = WS_POPUP | WS_CAPTION | WS_VISIBLE;
    d->cdit = 1;
    d->x = 60;
    d->y = 200;
    d->cx = 300;
    d->cy = 40;
    WORD* p = reinterpret_cast<WORD*>(d + 1) + 3;  // no menu, default class, no title
    p = reinterpret_cast<WORD*>((reinterpret_cast<uintptr_t>(p) + 3) & ~uintptr_t(3));
    DLGITEMTEMPLATE* item = reinterpret_cast<DLGITEMTEMPLATE*>(p);
    item->style = WS_CHILD | WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL;
    item->x = 4;
    item->y = 4;
    item->cx = 290;
    item->cy = 14;
    item->id = 100;
    p = reinterpret_cast<WORD*>(item + 1);
    p[0] = 0xFFFF;
    p[1] = 0x0081;  // the edit class
    HWND dialog = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), d, nullptr, PlainDialog, 0);
    return dialog ? GetDlgItem(dialog, 100) : nullptr;
}
