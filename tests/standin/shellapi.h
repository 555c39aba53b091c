// The shell's program start, for host builds. As on Windows, windows.h
// already declares ShellExecuteA (ty_standin_run_api.h); this header exists
// so that sources can name it where they use it.
#ifndef TY_STANDIN_SHELLAPI_H
#define TY_STANDIN_SHELLAPI_H

#include <windows.h>

#endif
