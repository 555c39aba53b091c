// windows.h first: the common controls' header builds on it.
#include <windows.h>
#include <commctrl.h>
#include <direct.h>
#include <errno.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "ty_deferred_delete.h"
#include "ty_error_display.h"
#include "ty_package.h"
#include "ty_page_frame.h"
#include "ty_pages.h"
#include "ty_product.h"
#include "ty_progress_page.h"
#include "ty_registry_entries.h"
#include "ty_resource.h"
#include "ty_rollback.h"
#include "ty_setup_state.h"
#include "ty_texts.h"
#include "ty_shortcuts.h"

// The announcements of the undo. The three after file failures differ in
// small points of wording, each kept as users have seen it.

bool ensureFolderChain(char *path) {
    if (path == NULL) return true;
    for (char *walk = path; *walk != '\0'; walk++) {
        if (*walk != '\\' && *walk != '/') continue;
        *walk = '\0';
        // A level whose existence cannot be judged (anything but "not
        // there") is passed over; the file writing then tells.
        if (path[0] != '\0' && _access(path, 0) != 0 && errno == ENOENT) {
            const unsigned room = sizeof setupState.createdFolderLengths /
                                  sizeof setupState.createdFolderLengths[0];
            if (setupState.createdFolderCount == room || _mkdir(path) != 0) {
                *walk = '\\';
                return false;
            }
            // Recorded as it is made: a rollback removes these levels and
            // no other, whatever the typed path spells ("..", another case,
            // short names).
            setupState.createdFolderLengths[setupState.createdFolderCount++] =
                (unsigned short)(walk - path);
        }
        *walk = '\\';
    }
    return true;
}

// The two boxes of a failure: what went wrong (head, detail and tail joined;
// each may be NULL), then what will be undone.
static void reportFailure(HWND page, const char *head, const char *detail, const char *tail,
                          const char *undo) {
    showMessageOfParts(page, head, detail, tail, setupState.setupCaption, MB_ICONERROR);
    MessageBoxA(page, undo, setupState.setupCaption, MB_ICONINFORMATION);
}

// Rolls back and ends the run; the undo of registry entries and shortcuts
// has run already where it applies.
static void endFailedInstallation(HWND page, unsigned entryLimit, int registryRemovalOutcome,
                                  int shortcutRemovalOutcome) __attribute__((noreturn));
static void endFailedInstallation(HWND page, unsigned entryLimit, int registryRemovalOutcome,
                                  int shortcutRemovalOutcome) {
    rollbackInstallation(page, entryLimit, registryRemovalOutcome, shortcutRemovalOutcome);
    if (setupState.package != NULL) {
        closePackage(setupState.package);
        free(setupState.package);
        setupState.package = NULL;
    }
    exitInstaller(-1);
}

static void failFile(HWND page, unsigned index, const char *path, bool written) __attribute__((noreturn));
static void failFile(HWND page, unsigned index, const char *path, bool written) {
    if (written) {
        // The path is shown between double quotes here.
        reportFailure(page, tyText(TY_TEXT_WRITE_FAILED_QUOTE), path,
                      tyText(TY_TEXT_QUOTE_FILE_TAIL), tyText(TY_TEXT_UNDO_AFTER_WRITE));
        // The partly written file goes too.
        endFailedInstallation(page, index + 1, 0, 0);
    }
    reportFailure(page, tyText(TY_TEXT_CREATE_FAILED), path, tyText(TY_TEXT_FILE_TAIL),
                  tyText(TY_TEXT_UNDO_AFTER_CREATE));
    endFailedInstallation(page, index, 0, 0);
}

// The installed entries' total size: the bar then reaches its end exactly
// with the last file, whatever the package carries.
static unsigned long long installedSize(void) {
    unsigned long long total = 0;
    for (unsigned index = TY_ENTRY_FIRST_INSTALLED; index < TY_ENTRY_INSTALL_BOUND; index++)
        total += entryUncompressedSize(index);
    return total;
}

static void writeFiles(HWND page) {
    HWND bar = GetDlgItem(page, IDC_PROGRESS_BAR);
    unsigned long long total = installedSize();
    unsigned long long written = 0;
    for (unsigned index = TY_ENTRY_FIRST_INSTALLED; index < TY_ENTRY_INSTALL_BOUND; index++) {
        // No message loop runs during the sequence: repaint by hand.
        UpdateWindow(page);
        uint32_t size = entryUncompressedSize(index);
        unsigned char *buffer = takeExtractedEntry(index);
        if (buffer == NULL) {
            // At least one byte, so that an empty entry is not mistaken for a
            // failed allocation.
            buffer = (unsigned char *)malloc(size > 0 ? size : 1);
            if (buffer == NULL) {
                reportFailure(page, tyText(TY_TEXT_NO_MEMORY), NULL, NULL,
                              tyText(TY_TEXT_UNDO_AFTER_NO_MEMORY));
                endFailedInstallation(page, index, 0, 0);
            }
            extractEntry(index, buffer);
        }

        const char *name = entryName(index);
        char path[TY_PATH_SIZE];
        // A path that does not fit cannot be created; the report shows as
        // much of it as fits.
        if (!composePath(path, setupState.installDir, name)) {
            free(buffer);
            strcpy(path, setupState.installDir);
            strncat(path, name, sizeof path - 1 - strlen(path));
            failFile(page, index, path, false);
        }

        FILE *file = fopen(path, "wb");
        if (file == NULL) {
            free(buffer);
            failFile(page, index, path, false);
        }
        size_t count = fwrite(buffer, 1, size, file);
        // What is still buffered is written by fclose: its failure leaves the
        // file as short as a short fwrite does.
        bool closed = fclose(file) == 0;
        free(buffer);
        if (count != size || !closed) failFile(page, index, path, true);

        written += size;
        // Both sizes shifted below 2^24, so that the percentage takes a
        // 32-bit division; only packages above 16 MB lose any precision.
        unsigned shift = 0;
        while ((total >> shift) > 0xFFFFFFu) shift++;
        WPARAM position = total > 0 ? (WPARAM)((uint32_t)(written >> shift) * 100u /
                                               (uint32_t)(total >> shift))
                                    : 100;
        SendMessageA(bar, PBM_SETPOS, position, 0);
    }
}

static void createStartMenuShortcuts(HWND page, int *shortcutStage) {
    SetDlgItemTextA(page, IDC_STATUS_TEXT, "Creating Start Menu shortcuts and icons...");
    if (createShortcuts(shortcutStage)) return;

    if (setupState.startMenuFolder[0] != '\0')
        reportFailure(page, tyText(TY_TEXT_SHORTCUT_FAILED), setupState.startMenuFolder,
                      tyText(TY_TEXT_SHORTCUT_TAIL), tyText(TY_TEXT_UNDO_AFTER_SHORTCUTS));
    else
        reportFailure(page, tyText(TY_TEXT_NO_START_MENU), NULL, NULL, tyText(TY_TEXT_UNDO_AFTER_SHORTCUTS));
    int shortcutRemovalOutcome = 0;
    removeShortcuts(*shortcutStage, &shortcutRemovalOutcome);
    endFailedInstallation(page, TY_ENTRY_INSTALL_BOUND, 0, shortcutRemovalOutcome);
}

static void writeRegistryEntries(HWND page, int shortcutStage) {
    SetDlgItemTextA(page, IDC_STATUS_TEXT, "Configuring the product...");
    int registryStage;
    if (writeProductRegistryEntries(&registryStage)) return;

    reportFailure(page, tyText(TY_TEXT_REGISTRY_FAILED), NULL, NULL, tyText(TY_TEXT_UNDO_AFTER_REGISTRY));
    int registryRemovalOutcome = 0;
    removeProductRegistryEntries(registryStage, &registryRemovalOutcome);
    int shortcutRemovalOutcome = 0;
    removeShortcuts(shortcutStage, &shortcutRemovalOutcome);
    endFailedInstallation(page, TY_ENTRY_INSTALL_BOUND, registryRemovalOutcome,
                          shortcutRemovalOutcome);
}

// An upgrade's saved configuration goes back into the new installation. A
// copy that fails leaves the product with its fresh file, and the saved copy
// where it is: it is the user's only copy of those settings, and the end of
// the update names it. True when the saved copy is in place.
static bool migrateFile(const char *savedPath, const char *name) {
    if (savedPath[0] == '\0') return true;  // nothing was there to save
    char path[TY_PATH_SIZE];
    if (!composePath(path, setupState.installDir, name) || !CopyFileA(savedPath, path, FALSE))
        return false;
    deleteNowOrAtReboot(savedPath, false);
    return true;
}

static void install(HWND page) {
    if (!ensureFolderChain(setupState.installDir)) {
        MessageBoxA(page, tyText(TY_TEXT_NO_FOLDER), setupState.setupCaption, MB_ICONERROR);
        // The levels made before the one that failed go again.
        rollbackInstallation(page, TY_ENTRY_FIRST_INSTALLED, 0, 0);
        exitInstaller(-1);
    }
    // A dialog shows itself only after its initialisation, which here is the
    // whole installation.
    ShowWindow(page, SW_SHOW);

    writeFiles(page);
    int shortcutStage;
    createStartMenuShortcuts(page, &shortcutStage);
    writeRegistryEntries(page, shortcutStage);

    if (setupState.configSaved) {
        SetDlgItemTextA(page, IDC_STATUS_TEXT, "Migrating existing configuration settings...");
        bool configuration = migrateFile(setupState.savedConfigPath, TY_FILE_PRODUCT_CONFIG);
        bool schedule = migrateFile(setupState.savedSchedulerPath, TY_FILE_SCHEDULER_CONFIG);
        setupState.configMigrated = configuration && schedule;
    }
    SetDlgItemTextA(page, IDC_STATUS_TEXT, "Installation complete.");
}

INT_PTR CALLBACK progressPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    INT_PTR result;
    if (pageFrameMessage(page, message, wParam, lParam, 0, &result)) return result;
    if (message == WM_INITDIALOG) {
        install(page);
        EndDialog(page, 0);
        setupState.pageResult = TY_PAGE_RESULT_NEXT;
        return TRUE;
    }
    return FALSE;
}
