#include <stdlib.h>
#include <windows.h>

#include "ty_main.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    exit(runSetup(instance));
}
