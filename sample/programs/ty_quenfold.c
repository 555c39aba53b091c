/* Tessaly Quenfold.exe, the product's main program, as the sample build
   carries it: it records how it was started (TYStarts.log beside it) and
   ends at once without a window, so that the documentation task ("?"),
   the shortcuts ("-c", "-e") and their working folders can be checked. */
#include <windows.h>

#include "ty_product.h"
#include "ty_start_log.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR arguments, int show)
{
    (void)instance;
    (void)previous;
    (void)arguments;
    (void)show;
    return logStart("Tessaly Quenfold " TY_PRODUCT_VERSION) ? 0 : 1;
}
