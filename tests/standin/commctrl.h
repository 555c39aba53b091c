// The common controls library, for host builds: only its initialisation.
#ifndef TY_STANDIN_COMMCTRL_H
#define TY_STANDIN_COMMCTRL_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

void WINAPI InitCommonControls(void);

#ifdef __cplusplus
}
#endif

#endif
