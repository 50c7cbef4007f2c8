// Window subclassing kept inside the process: the same calls and the same
// order as the common controls' SetWindowSubclass (the newest procedure sees
// a message first, each passes it on with DefSubclass), but the chain of a
// window is found in a table of this process. The common controls keep it in
// a window property, and under Wine every message then costs a round trip to
// the window server to find it; with some sixty controls that doubled the
// time from start to a visible window.
//
// A window's chain lives in the thread that owns the window, as its messages
// do. It goes with the window (WM_NCDESTROY), after its procedures have seen
// that message.
#pragma once

#include <windows.h>

#include <commctrl.h>

namespace rtl {

// Adds proc (with id) on top of the window's chain, or gives an entry
// already there new data. False when the window cannot be subclassed.
bool SetSubclass(HWND hwnd, SUBCLASSPROC proc, UINT_PTR id, DWORD_PTR data);
// Takes the entry out of the chain (also while it runs). False when the
// window has no such entry, or belongs to another thread.
bool RemoveSubclass(HWND hwnd, SUBCLASSPROC proc, UINT_PTR id);
// The data of the entry, if the window has it.
bool GetSubclass(HWND hwnd, SUBCLASSPROC proc, UINT_PTR id, DWORD_PTR* data);
// Passes a message on to the next older entry, or to the window's own
// procedure after the last.
LRESULT DefSubclass(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

}  // namespace rtl
