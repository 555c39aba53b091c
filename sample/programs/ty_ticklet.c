/* Tessaly Ticklet.exe, the product's scheduler, as the sample build carries
   it: it records how it was started (TYStarts.log beside it), in particular
   its current folder, and ends at once without a window. */
#include <windows.h>

#include "ty_product.h"
#include "ty_start_log.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR arguments, int show)
{
    (void)instance;
    (void)previous;
    (void)arguments;
    (void)show;
    return logStart("Tessaly Ticklet " TY_PRODUCT_VERSION) ? 0 : 1;
}
