// One meter a session: a few bytes of named shared memory that the first meter creates and keeps
// for its whole run. That the name exists says a meter runs; what it holds says which dialog to
// bring forward. Windows removes it with the last handle, so a meter that crashed or ended leaves
// nothing that would stop the next start.
#include "app/one_meter.h"

#include <cstring>

#include "res/resource.h"

namespace {

// How long a second start waits for a meter that is still starting to set up its dialog, how
// often it looks, and how long the dialog may take to show itself.
constexpr DWORD WAIT_FOR_METER_MS = 10000;
constexpr DWORD LOOK_EVERY_MS = 100;
constexpr UINT SHOW_TIMEOUT_MS = 10000;

HANDLE g_mapping;  // the first meter's, open until its process ends
MeterSlot* g_slot;

// Creates the named memory, or opens the running meter's (*existed). Null without it: when none
// can be made, or when a meter runs that this process may not open (*existed).
HANDLE CreateSlot(bool* existed)
{
    const char* const names[] = {METER_SLOT_NAME, METER_SLOT_PLAIN_NAME};
    for (const char* name : names) {
        SetLastError(ERROR_SUCCESS);  // a new object need not set it
        HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(MeterSlot), name);
        if (mapping) {
            *existed = GetLastError() == ERROR_ALREADY_EXISTS;
            return mapping;
        }
        if (GetLastError() == ERROR_ACCESS_DENIED) {
            // A meter of another account in this session, whose memory may be read at most, or
            // a process that may make no named object here (a sandbox), which runs alone.
            mapping = OpenFileMappingA(FILE_MAP_READ, FALSE, name);
            *existed = mapping || GetLastError() != ERROR_FILE_NOT_FOUND;
            return mapping;
        }
    }
    *existed = false;
    return nullptr;
}

// Whether a window is a meter dialog: of the dialog class, with the caption of the program's own
// meter dialog. A second start runs before WinMain keeps the module's handle, so it asks for it.
bool IsMeterDialog(HWND window)
{
    char className[16] = "", caption[64] = "", text[64] = "";
    // "#32770" is the name Windows gives the dialog class.
    if (!GetClassNameA(window, className, sizeof className) || strcmp(className, "#32770") != 0) return false;
    if (!LoadStringA(GetModuleHandleA(nullptr), IDS_METER_CAPTION, caption, sizeof caption)) return false;
    // For another process's window this reads the caption that the system keeps, sending no
    // message, so a meter that hangs cannot hang this start. A longer caption is cut and differs.
    GetWindowTextA(window, text, sizeof text);
    return strcmp(text, caption) == 0;
}

// The running meter's dialog and process as published, or null while there is no meter dialog of
// that process under the published handle (not set up yet, or already gone and its handle now
// naming another window).
HWND PublishedMeter(HANDLE mapping, DWORD* process)
{
    const auto* slot = static_cast<const MeterSlot*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, sizeof(MeterSlot)));
    if (!slot) return nullptr;
    const HWND window = reinterpret_cast<HWND>(static_cast<LONG_PTR>(slot->window));
    *process = slot->process;
    UnmapViewOfFile(slot);
    DWORD owner = 0;
    if (!window || !GetWindowThreadProcessId(window, &owner) || owner != *process) return nullptr;
    return IsMeterDialog(window) ? window : nullptr;
}

// Shows the running meter's dialog and brings it to the front, as its Properties item does.
void ShowRunningMeter(HWND meter, DWORD process)
{
    // Windows 98, 2000 and later let a process take the foreground only when the user's last
    // input went to it or the foreground's owner allows it: this process, just started by the
    // user, may hand that on to the meter. Older Windows have neither the rule nor the function.
    using AllowSetForegroundWindowProc = BOOL(WINAPI*)(DWORD);
    const auto allow = reinterpret_cast<AllowSetForegroundWindowProc>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleA("user32.dll"), "AllowSetForegroundWindow")));
    if (allow) allow(process);
    // Sent, so that this process ends only once the meter has handled it; a hung meter is not
    // waited for.
    DWORD_PTR ignored;
    SendMessageTimeoutA(meter, WM_COMMAND, MAKEWPARAM(IDM_PROPERTIES, 0), 0, SMTO_ABORTIFHUNG, SHOW_TIMEOUT_MS,
                        &ignored);
}

}  // namespace

bool ClaimTheSessionsMeter()
{
    const DWORD start = GetTickCount();
    for (;;) {
        bool existed;
        const HANDLE mapping = CreateSlot(&existed);
        if (!existed) {
            // The session's meter. Without the shared memory (none to spare or allowed) it runs all the same.
            g_mapping = mapping;
            if (mapping)
                g_slot = static_cast<MeterSlot*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(MeterSlot)));
            if (g_slot) g_slot->process = GetCurrentProcessId();
            return true;
        }
        if (!mapping) return false;  // a meter that this process may not reach
        DWORD process = 0;
        const HWND meter = PublishedMeter(mapping, &process);
        // Let go before waiting: a meter that ends meanwhile takes the name with it, and the next
        // round makes this process the meter.
        CloseHandle(mapping);
        if (meter) {
            ShowRunningMeter(meter, process);
            return false;
        }
        if (GetTickCount() - start >= WAIT_FOR_METER_MS) return false;  // it shows its icons soon
        Sleep(LOOK_EVERY_MS);
    }
}

void PublishMeterWindow(HWND hwnd)
{
    if (g_slot) g_slot->window = static_cast<LONG>(reinterpret_cast<LONG_PTR>(hwnd));
}
