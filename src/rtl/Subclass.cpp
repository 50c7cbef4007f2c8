#include "rtl/Subclass.h"

#include <algorithm>
#include <memory>
#include <unordered_map>
#include <vector>

namespace rtl {

namespace {

struct Entry {
    SUBCLASSPROC proc;
    UINT_PTR id;
    DWORD_PTR data;
    bool live;
};

// A window's chain. Only the thread that owns the window touches it.
struct Chain {
    WNDPROC original = nullptr;
    std::vector<Entry> entries;  // oldest first
    size_t next = 0;             // within a message: the entries below still to run
    int depth = 0;               // messages of the window under way
    bool destroyed = false;
};

// The table is shared by all threads (each finds only its own windows).
SRWLOCK tableLock = SRWLOCK_INIT;

std::unordered_map<HWND, std::unique_ptr<Chain>>& Table() {
    static auto* table = new std::unordered_map<HWND, std::unique_ptr<Chain>>();
    return *table;
}

Chain* Find(HWND hwnd) {
    AcquireSRWLockShared(&tableLock);
    const auto found = Table().find(hwnd);
    Chain* chain = found == Table().end() ? nullptr : found->second.get();
    ReleaseSRWLockShared(&tableLock);
    return chain;
}

void Forget(HWND hwnd) {
    AcquireSRWLockExclusive(&tableLock);
    Table().erase(hwnd);
    ReleaseSRWLockExclusive(&tableLock);
}

LRESULT CALLBACK ChainProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

// Between messages: removed entries go; a chain left empty gives the window
// its own procedure back (unless someone subclassed it after this chain,
// which then stays as a mere pass-through), and a destroyed window's goes.
void Tidy(HWND hwnd, Chain& chain) {
    auto& entries = chain.entries;
    entries.erase(std::remove_if(entries.begin(), entries.end(), [](const Entry& e) { return !e.live; }),
                  entries.end());
    if (!chain.destroyed) {
        if (!entries.empty()) return;
        if (GetWindowLongPtrW(hwnd, GWLP_WNDPROC) != reinterpret_cast<LONG_PTR>(&ChainProc)) return;
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(chain.original));
    }
    Forget(hwnd);
}

LRESULT CALLBACK ChainProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Chain* chain = Find(hwnd);
    if (!chain) return DefWindowProcW(hwnd, msg, wp, lp);
    // A message sent while another is handled starts again from the top.
    const size_t saved = chain->next;
    chain->next = chain->entries.size();
    ++chain->depth;
    const LRESULT result = DefSubclass(hwnd, msg, wp, lp);
    chain->next = saved;
    if (msg == WM_NCDESTROY) chain->destroyed = true;
    if (--chain->depth == 0) Tidy(hwnd, *chain);
    return result;
}

}  // namespace

bool SetSubclass(HWND hwnd, SUBCLASSPROC proc, UINT_PTR id, DWORD_PTR data) {
    if (!proc || !IsWindow(hwnd) || GetWindowThreadProcessId(hwnd, nullptr) != GetCurrentThreadId()) return false;
    Chain* chain = Find(hwnd);
    if (chain && chain->destroyed) return false;
    if (!chain) {
        auto added = std::make_unique<Chain>();
        added->original =
            reinterpret_cast<WNDPROC>(SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ChainProc)));
        if (!added->original) return false;
        chain = added.get();
        AcquireSRWLockExclusive(&tableLock);
        Table()[hwnd] = std::move(added);
        ReleaseSRWLockExclusive(&tableLock);
    }
    for (Entry& e : chain->entries)
        if (e.live && e.proc == proc && e.id == id) {
            e.data = data;
            return true;
        }
    chain->entries.push_back(Entry{proc, id, data, true});
    return true;
}

bool RemoveSubclass(HWND hwnd, SUBCLASSPROC proc, UINT_PTR id) {
    Chain* chain = Find(hwnd);
    if (!chain || GetWindowThreadProcessId(hwnd, nullptr) != GetCurrentThreadId()) return false;
    for (Entry& e : chain->entries)
        if (e.live && e.proc == proc && e.id == id) {
            e.live = false;
            if (chain->depth == 0) Tidy(hwnd, *chain);
            return true;
        }
    return false;
}

bool GetSubclass(HWND hwnd, SUBCLASSPROC proc, UINT_PTR id, DWORD_PTR* data) {
    Chain* chain = Find(hwnd);
    if (!chain || GetWindowThreadProcessId(hwnd, nullptr) != GetCurrentThreadId()) return false;
    for (const Entry& e : chain->entries)
        if (e.live && e.proc == proc && e.id == id) {
            if (data) *data = e.data;
            return true;
        }
    return false;
}

LRESULT DefSubclass(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Chain* chain = Find(hwnd);
    if (!chain) return DefWindowProcW(hwnd, msg, wp, lp);
    while (chain->next > 0) {
        const Entry e = chain->entries[--chain->next];
        if (e.live) return e.proc(hwnd, msg, wp, lp, e.id, e.data);
    }
    return CallWindowProcW(chain->original, hwnd, msg, wp, lp);
}

}  // namespace rtl
