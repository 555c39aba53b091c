#include <stdlib.h>
#include <windows.h>

#include "ty_error_display.h"
#include "ty_package.h"
#include "ty_page_frame.h"
#include "ty_pages.h"
#include "ty_product.h"
#include "ty_resource.h"

// The licence is the package's entry as stored: single-byte text, shown up to
// its first NUL.
static void showLicence(HWND page) {
    uint32_t size = entryUncompressedSize(TY_ENTRY_LICENCE);
    char *text = (char *)malloc((size_t)size + 1);
    // Without the buffer the text cannot be placed either: the same report.
    if (text == NULL) {
        showNumberedError(TY_ERROR_LICENCE_NOT_SHOWN);
        exitInstaller(-1);
    }
    extractEntry(TY_ENTRY_LICENCE, (unsigned char *)text);
    text[size] = '\0';
    BOOL placed = SetDlgItemTextA(page, IDC_LICENCE_TEXT, text);
    free(text);
    if (!placed) {
        showNumberedError(TY_ERROR_LICENCE_NOT_SHOWN);
        exitInstaller(-1);
    }
}

INT_PTR CALLBACK licencePageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    INT_PTR result;
    if (pageFrameMessage(page, message, wParam, lParam, 0, &result)) return result;
    if (message == WM_INITDIALOG) {
        showLicence(page);
        return TRUE;
    }
    return FALSE;
}
