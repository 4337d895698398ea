#include "Counters.h"

#include "BenchSupport.h"

namespace bench {

namespace {

double PrivateCommittedMb() {
    SIZE_T total = 0;
    MEMORY_BASIC_INFORMATION mbi;
    for (const BYTE* p = nullptr; VirtualQuery(p, &mbi, sizeof(mbi)) == sizeof(mbi);) {
        if (mbi.State == MEM_COMMIT && mbi.Type == MEM_PRIVATE) total += mbi.RegionSize;
        const BYTE* next = static_cast<const BYTE*>(mbi.BaseAddress) + mbi.RegionSize;
        if (next <= p) break;
        p = next;
    }
    return static_cast<double>(total) / (1024.0 * 1024.0);
}

// Handle values are multiples of four, handed out from the bottom.
long KernelHandles() {
    long n = 0;
    DWORD dwFlags;
    for (UINT_PTR value = 4; value < 0x20000; value += 4)
        n += GetHandleInformation(reinterpret_cast<HANDLE>(value), &dwFlags) != 0;
    return n;
}

// A GDI handle whose high word is zero still names its table slot.
long GdiObjects() {
    long n = 0;
    for (UINT_PTR slot = 1; slot < 0x10000; ++slot) n += GetObjectType(reinterpret_cast<HGDIOBJ>(slot)) != 0;
    return n;
}

// USER handles are 0x20 + 2 * slot in the low word; a zero high word
// matches any generation of the slot.
long Menus() {
    long n = 0;
    for (UINT_PTR low = 0x20; low < 0xFFF0; low += 2) n += IsMenu(reinterpret_cast<HMENU>(low)) != 0;
    return n;
}

struct WindowCount {
    DWORD pid;
    long n;
};

BOOL CALLBACK CountChild(HWND hwnd, LPARAM lp) {
    auto* count = reinterpret_cast<WindowCount*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == count->pid) ++count->n;
    return TRUE;
}

BOOL CALLBACK CountTopLevel(HWND hwnd, LPARAM lp) {
    CountChild(hwnd, lp);
    EnumChildWindows(hwnd, CountChild, lp);  // all descendants
    return TRUE;
}

long Windows() {
    WindowCount count = {GetCurrentProcessId(), 0};
    EnumWindows(CountTopLevel, reinterpret_cast<LPARAM>(&count));
    for (HWND hwnd = FindWindowExW(HWND_MESSAGE, nullptr, nullptr, nullptr); hwnd;
         hwnd = FindWindowExW(HWND_MESSAGE, hwnd, nullptr, nullptr))
        CountTopLevel(hwnd, reinterpret_cast<LPARAM>(&count));
    return count.n;
}

}  // namespace

ResourceSnapshot TakeSnapshot(const std::vector<std::wstring>& watchedFolders) {
    ResourceSnapshot s;
    s.privateMb = PrivateCommittedMb();
    s.handles = KernelHandles();
    s.gdi = GdiObjects();
    s.windows = Windows();
    s.menus = Menus();
    for (const std::wstring& folder : watchedFolders) s.files += CountFiles(folder);
    return s;
}

}  // namespace bench
