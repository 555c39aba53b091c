// The single exit path and the message boxes shared by every subsystem.
#ifndef TY_ERROR_DISPLAY_H
#define TY_ERROR_DISPLAY_H

#include <windows.h>

// Deletes an upgrade's saved configuration copies, gives back the instance
// lock and ends the process with code.
void exitInstaller(int code) __attribute__((noreturn));

// "Tessaly Installer 1.0" error box, then exitInstaller(-1).
void fatalError(const char *text) __attribute__((noreturn));

// As fatalError, with the corrupted-package paragraph appended to text.
void fatalPackageError(const char *text) __attribute__((noreturn));

// The identifiers of the numbered errors: a step of the wizard that the
// system refused, for support to tell apart.
enum {
    TY_ERROR_LICENCE_NOT_SHOWN = 1,
    TY_ERROR_NO_DEFAULT_FOLDER = 2,
    TY_ERROR_FOLDER_NOT_SHOWN = 3,
    TY_ERROR_BROWSED_FOLDER_NOT_SHOWN = 4,
};

// The generic error box ending in "The error identifier is <identifier>".
// Returns; the caller then calls exitInstaller(-1).
void showNumberedError(int identifier);

// identifier in decimal appended to the text in dst (size bytes), cut at
// the buffer's end.
void appendDecimal(char *dst, size_t size, int identifier);

// first, second and third (each may be NULL) joined without separators.
int showMessageOfParts(HWND owner, const char *first, const char *second,
                       const char *third, const char *caption, UINT style);

// text immediately followed by detail.
int showMessageWithDetail(HWND owner, const char *text, const char *detail,
                          const char *caption, UINT style);

#endif
