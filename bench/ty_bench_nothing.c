// A GUI program that does nothing: its start and end under Wine are the
// floor under every whole-process time of the installation benchmark.
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
    (void)instance;
    (void)previous;
    (void)commandLine;
    (void)show;
    return 0;
}
