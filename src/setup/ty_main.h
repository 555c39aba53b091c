#ifndef TY_MAIN_H
#define TY_MAIN_H

#include <windows.h>

// The main procedure: from the single-instance lock to the exit code.
int runSetup(HINSTANCE instance);

#endif
