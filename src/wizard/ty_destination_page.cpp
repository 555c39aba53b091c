// windows.h first: the shell headers build on it.
#include <windows.h>
#include <shlobj.h>
#include <string.h>

#include "ty_error_display.h"
#include "ty_package.h"
#include "ty_page_frame.h"
#include "ty_pages.h"
#include "ty_product.h"
#include "ty_registry.h"
#include "ty_resource.h"
#include "ty_setup_state.h"

#define TY_DEFAULT_TAIL TY_MAKER_FOLDER TY_PRODUCT_NAME

// Room left for the entry names behind the folder when the files are written.
#define TY_FOLDER_LIMIT_BASE 201

static bool getProgramFilesDir(char *out) {
    if (readRegistryString(HKEY_LOCAL_MACHINE, TY_KEY_PROGRAM_FILES, NULL, NULL,
                           TY_VALUE_PROGRAM_FILES, out))
        return true;
    out[0] = '\0';
    return false;
}

// Program Files + "\Tessaly\" + the product's name into a TY_PATH_SIZE
// buffer. A Program Files folder too long to take the tail is as unusable as
// an unreadable one.
static void buildDefaultFolder(char *out) {
    if (!getProgramFilesDir(out) ||
        strlen(out) + sizeof TY_DEFAULT_TAIL > TY_PATH_SIZE) {
        showNumberedError(TY_ERROR_NO_DEFAULT_FOLDER);
        exitInstaller(-1);
    }
    strcat(out, TY_DEFAULT_TAIL);
}

// The longest folder name the package admits, so that the folder and an
// entry's name stay near the path limit; never so long that the closing
// backslash would not fit.
static size_t folderLimit(void) {
    size_t limit = (size_t)packageNameWidth(0) + TY_FOLDER_LIMIT_BASE;
    return limit < TY_PATH_SIZE - 2 ? limit : TY_PATH_SIZE - 2;
}

// Next: takes the field (or the default when it is empty), checks its length
// and asks for a confirmation. True when the page is done.
static bool acceptFolder(HWND page) {
    char *folder = setupState.installDir;
    GetDlgItemTextA(page, IDC_FOLDER, folder, TY_PATH_SIZE);
    if (folder[0] == '\0') buildDefaultFolder(folder);
    // The folder as Windows will make it: "..", ".", forward and doubled
    // separators resolved, a folder given from the root put on the current
    // drive. The confirmation, the registry and a rollback then all name the
    // folder that really is there. A network path stays one.
    char resolved[TY_PATH_SIZE];
    DWORD resolvedLength = GetFullPathNameA(folder, sizeof resolved, resolved, NULL);
    bool fits = resolvedLength < sizeof resolved;
    if (fits && resolvedLength > 0) strcpy(folder, resolved);
    size_t length = strlen(folder);
    if (!fits || length > folderLimit()) {
        MessageBoxA(page,
                    "The name of the chosen installation directory is too long. Please specify "
                    "a shorter one.",
                    setupState.setupCaption, MB_ICONERROR);
        return false;
    }
    static const char before[] = "The program will be installed in the following location:\n\n\t";
    static const char after[] = "\n\nWould you like to continue with installation?";
    char question[TY_MESSAGE_SIZE];
    strcpy(question, before);
    strcat(question, folder);
    strcat(question, after);
    if (MessageBoxA(page, question, setupState.setupCaption,
                    MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDNO)
        return false;
    // Every later path is the folder followed directly by a name.
    folder[length] = '\\';
    folder[length + 1] = '\0';
    return true;
}

// The browsed folder replaces the whole field.
static void browseForFolder(HWND page) {
    char displayName[TY_PATH_SIZE];
    BROWSEINFOA info;
    memset(&info, 0, sizeof info);
    info.hwndOwner = page;
    info.pszDisplayName = displayName;
    info.lpszTitle = "Please choose a destination folder:";
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_DONTGOBELOWDOMAIN;
    LPITEMIDLIST list = SHBrowseForFolderA(&info);
    if (list == NULL) return;
    char path[TY_PATH_SIZE];
    if (SHGetPathFromIDListA(list, path) && !SetDlgItemTextA(page, IDC_FOLDER, path)) {
        showNumberedError(TY_ERROR_BROWSED_FOLDER_NOT_SHOWN);
        exitInstaller(-1);
    }
    IMalloc *shellMalloc;
    if (SUCCEEDED(SHGetMalloc(&shellMalloc))) {
        shellMalloc->Free(list);
        shellMalloc->Release();
    }
}

INT_PTR CALLBACK destinationPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    INT_PTR result;
    if (pageFrameMessage(page, message, wParam, lParam, TY_PAGE_OWN_NEXT, &result)) return result;
    if (message == WM_INITDIALOG) {
        char folder[TY_PATH_SIZE];
        buildDefaultFolder(folder);
        if (!SetDlgItemTextA(page, IDC_FOLDER, folder)) {
            showNumberedError(TY_ERROR_FOLDER_NOT_SHOWN);
            exitInstaller(-1);
        }
        return TRUE;
    }
    if (message == WM_COMMAND && wParam == IDOK) {
        if (!acceptFolder(page)) return FALSE;
        EndDialog(page, 0);
        setupState.pageResult = TY_PAGE_RESULT_NEXT;
        return TRUE;
    }
    if (message == WM_COMMAND && wParam == IDC_BROWSE) browseForFolder(page);
    return FALSE;
}
