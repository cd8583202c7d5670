// A busy process for the processor-load tests: sets the event named on its command line, then
// keeps one processor busy until it is ended.
#include <windows.h>

int main(int argc, char** argv)
{
    if (argc > 1) {
        HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[1]);
        if (ready) SetEvent(ready);
    }
    for (volatile unsigned spin = 0;; ++spin) {
    }
}
