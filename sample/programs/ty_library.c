/* One of the product's libraries in the sample build (TYEngine.dll,
   TYScan.dll, ...): built once per library with TY_LIBRARY_NAME set, each
   exports the same small function so the DLL is a real, loadable one that
   names its version. */
#include <windows.h>

#include "ty_product.h"

#ifndef TY_LIBRARY_NAME
#error "TY_LIBRARY_NAME must name the library, e.g. \"TYEngine\""
#endif

__declspec(dllexport) const char *TYLibraryName(void)
{
    return TY_LIBRARY_NAME " " TY_PRODUCT_VERSION;
}
