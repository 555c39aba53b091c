#include "ty_error_display.h"

#include <stdlib.h>
#include <string.h>

#include "ty_package.h"
#include "ty_product.h"
#include "ty_saved_configuration.h"
#include "ty_setup_state.h"

#define TY_CORRUPTED_PACKAGE_PARAGRAPH                                          \
    "\nThe installation package is corrupted. It was probably damaged during " \
    "network download or transfer, or due to errors on the distribution "     \
    "media. Please obtain a new package. The newest version can be found at "  \
    TY_WEB_SITE ". For questions or comments, please contact "                 \
    TY_SUPPORT_EMAIL "."

#define TY_NUMBERED_ERROR_TEXT                                                  \
    "An error has occurred. It may be due to system misconfiguration or "     \
    "instability. If the error persists, contact " TY_SUPPORT_EMAIL           \
    ", describe exactly what caused this, and report the following error "    \
    "identifier and the version of the installer:\n\n\tThe installer "        \
    "version is " TY_INSTALLER_VERSION ".\n\tThe error identifier is "

// Appends src to the composed text in dst, cutting it at the buffer's end
// rather than writing past it.
static void appendText(char *dst, size_t size, const char *src) {
    size_t used = strlen(dst);
    if (src == NULL || used + 1 >= size) return;
    size_t room = size - 1 - used;
    size_t length = strlen(src);
    if (length > room) length = room;
    memcpy(dst + used, src, length);
    dst[used + length] = '\0';
}

void exitInstaller(int code) {
    stopExtractingAhead();
    disposeSavedConfiguration();
    ReleaseSemaphore(setupState.instanceLock, 1, NULL);
    CloseHandle(setupState.instanceLock);
    exit(code);
}

void fatalError(const char *text) {
    MessageBoxA(NULL, text, TY_CAPTION_FATAL, MB_ICONERROR);
    exitInstaller(-1);
}

void fatalPackageError(const char *text) {
    char message[TY_MESSAGE_SIZE] = "";
    appendText(message, sizeof message, text);
    appendText(message, sizeof message, TY_CORRUPTED_PACKAGE_PARAGRAPH);
    MessageBoxA(NULL, message, TY_CAPTION_FATAL, MB_ICONERROR);
    exitInstaller(-1);
}

// identifier in decimal: a minus sign when negative, no leading zeros. Done
// by hand: the runtime's formatted printing would add some 27 KB to the
// program.
void appendDecimal(char *dst, size_t size, int identifier) {
    char digits[12];
    char *p = digits + sizeof digits;
    *--p = '\0';
    unsigned int magnitude = identifier < 0 ? 0u - (unsigned int)identifier : (unsigned int)identifier;
    do {
        *--p = (char)('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (identifier < 0) *--p = '-';
    appendText(dst, size, p);
}

void showNumberedError(int identifier) {
    char message[TY_MESSAGE_SIZE] = TY_NUMBERED_ERROR_TEXT;
    appendDecimal(message, sizeof message, identifier);
    MessageBoxA(NULL, message, TY_CAPTION_NUMBERED_ERROR, MB_ICONERROR);
}

int showMessageOfParts(HWND owner, const char *first, const char *second,
                       const char *third, const char *caption, UINT style) {
    char message[TY_MESSAGE_SIZE] = "";
    appendText(message, sizeof message, first);
    appendText(message, sizeof message, second);
    appendText(message, sizeof message, third);
    return MessageBoxA(owner, message, caption, style);
}

int showMessageWithDetail(HWND owner, const char *text, const char *detail,
                          const char *caption, UINT style) {
    char message[TY_MESSAGE_SIZE] = "";
    appendText(message, sizeof message, text);
    appendText(message, sizeof message, detail);
    return MessageBoxA(owner, message, caption, style);
}
