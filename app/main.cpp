// Program entry: set up the two module handles, run the meter dialog as the program's whole life.
#include "app/app.h"
#include "app/one_meter.h"
#include "notify/notify.h"
#include "res/resource.h"
#include "stats/stats.h"

HMENU g_hPopupMenu;

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int)
{
    // A second start only brings the running meter's dialog forward.
    if (!ClaimTheSessionsMeter()) return 0;
    g_hInstance = hInstance;
    g_hPopupMenu = GetSubMenu(LoadMenuA(hInstance, MAKEINTRESOURCEA(IDR_POPUP)), 0);
    PrimeProcessorStats();
    // Returns when the dialog has ended (its icons are gone by then), or at once if it could not
    // be created; either way the statistic is stopped and the exit code is 0.
    DialogBoxParamA(hInstance, MAKEINTRESOURCEA(IDD_METER), nullptr, MeterDlgProc, 0);
    StopProcessorStats();
    return 0;
}
