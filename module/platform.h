// The few platform types, constants and calling conventions that the
// window-system-free logic needs. Under Windows they come from the system
// headers; in the native build (unit tests, fuzzers, benchmarks) they are
// declared here with the same sizes as on x64 Windows.
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
typedef struct HWND__* HWND;
typedef struct HHOOK__* HHOOK;
typedef struct HINSTANCE__* HINSTANCE;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef unsigned int UINT;
typedef int BOOL;
typedef uint32_t DWORD;
#define CALLBACK
#define WINAPI
typedef LRESULT(CALLBACK* WNDPROC)(HWND, UINT, WPARAM, LPARAM);
#define WM_IME_REQUEST 0x0288
#define WM_IME_NOTIFY 0x0282
#define WM_KILLFOCUS 0x0008
#define WM_NCDESTROY 0x0082
#define WM_LBUTTONDOWN 0x0201
#define IMR_RECONVERTSTRING 4
#define IMR_CONFIRMRECONVERTSTRING 5
#define IMR_DOCUMENTFEED 7
#define IMN_CLOSESTATUSWINDOW 1
#endif
