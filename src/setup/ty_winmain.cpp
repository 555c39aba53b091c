#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include "ty_late_imports.h"
#include "ty_main.h"
#include "ty_product.h"
#include "ty_setup_state.h"
#include "ty_texts.h"

// The installer is started from shared folders (downloads, a desktop, a
// network share) and runs with administrative rights, so no library may come
// from beside it. The image imports statically only kernel32 and msvcrt,
// which the platform always takes from its own folder together with what
// they need. Every other library loads further libraries by bare name as it
// comes up (some platforms' user32 does so before a program's first
// instruction), so they are loaded here instead, by full system path, once
// the search for those further libraries has been restricted. Their
// functions go into the very import slots (__imp__Name@N) that the
// compiler's calls to them read, so the rest of the program calls them as
// any imported function; a call added elsewhere without its row in
// ty_late_imports.h does not link.
#define TY_IMPORT_SLOT(library, name, argumentBytes)                           \
    FARPROC late##name __asm__("__imp__" #name "@" #argumentBytes);
extern "C" {
TY_LATE_IMPORTS(TY_IMPORT_SLOT)
}

struct LateImport {
    const char *library;
    const char *name;
    FARPROC *slot;
};

// Grouped by library, user32's MessageBoxA first, so that a missing
// function of any other can be reported in a box. Every one of these exists since Windows 95 and
// NT 4.
#define TY_IMPORT_ROW(library, name, argumentBytes) {library, #name, &late##name},
static const LateImport lateImports[] = {TY_LATE_IMPORTS(TY_IMPORT_ROW)};

// LOAD_LIBRARY_SEARCH_SYSTEM32, for headers that predate it.
static const DWORD searchSystemFolderOnly = 0x00000800;

typedef BOOL(WINAPI *SetDefaultDllDirectoriesFunction)(DWORD);
typedef BOOL(WINAPI *SetDllDirectoryFunction)(LPCSTR);

// Where the platform offers it (Windows 8, and 7 and Vista with their
// updates), every later load by bare name, the system libraries' own
// included, searches the system folder only; the current folder leaves the
// search where that is all the platform offers. Found by name so that the
// program starts unchanged where neither exists (the Windows 95 family).
static void restrictLibrarySearch() {
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (kernel == NULL) return;
    SetDefaultDllDirectoriesFunction setDefault = reinterpret_cast<SetDefaultDllDirectoriesFunction>(
        reinterpret_cast<void *>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (setDefault != NULL) setDefault(searchSystemFolderOnly);
    SetDllDirectoryFunction setDirectory = reinterpret_cast<SetDllDirectoryFunction>(
        reinterpret_cast<void *>(GetProcAddress(kernel, "SetDllDirectoryA")));
    if (setDirectory != NULL) setDirectory("");
}

// A library of the system folder, by its full path; NULL when there is none.
static HMODULE loadSystemLibrary(const char *name) {
    char path[MAX_PATH + 16];
    UINT folderLength = GetSystemDirectoryA(path, MAX_PATH);
    if (folderLength == 0 || folderLength >= MAX_PATH) return NULL;
    if (path[folderLength - 1] != '\\') path[folderLength++] = '\\';
    strcpy(path + folderLength, name);
    return LoadLibraryA(path);
}

// Loaded by the system's own libraries through their delay-load tables,
// which some platforms (Wine) look for in the program's folder whatever the
// restriction: loaded here first, from the system folder, a later load by
// name finds it loaded. Where it does not exist (before Windows 98 and
// 2000), nothing else loads it either.
static const char *const preloadedLibraries[] = {"msimg32.dll"};

// The libraries stay loaded for the life of the process. A system without
// one of the late imports cannot run the installer at all: a box names the
// function and its library, and the run ends with -1 before any other
// window. Without user32's there is no box: it ends as a program whose
// import is missing would.
static void loadLateImports() {
    const char *loadedName = NULL;
    HMODULE library = NULL;
    for (const LateImport &late : lateImports) {
        if (loadedName == NULL || strcmp(loadedName, late.library) != 0) {
            library = loadSystemLibrary(late.library);
            loadedName = late.library;
        }
        *late.slot = library != NULL ? GetProcAddress(library, late.name) : NULL;
        if (*late.slot != NULL) continue;
        if (lateMessageBoxA == NULL) ExitProcess(ERROR_PROC_NOT_FOUND);
        char message[TY_MESSAGE_SIZE];
        strcpy(message, tyText(TY_TEXT_MISSING_FUNCTION));
        strcat(message, late.name);
        strcat(message, tyText(TY_TEXT_MISSING_FUNCTION_LIBRARY));
        strcat(message, late.library);
        strcat(message, tyText(TY_TEXT_MISSING_FUNCTION_AFTER));
        MessageBoxA(NULL, message, TY_CAPTION_INSTALLER, MB_ICONERROR);
        ExitProcess((UINT)-1);
    }
    for (const char *name : preloadedLibraries) loadSystemLibrary(name);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    restrictLibrarySearch();
    loadLateImports();
    exit(runSetup(instance));
}

// The image's entry point. The toolchain's start-up code prepares what this
// program never uses (command-line arguments, global constructors, its own
// thread-local and exception set-up) and is a seventh of the image; of it,
// only the floating-point unit's reset (to 64-bit precision) matters here,
// for the version numbers the installer compares. msvcrt sets itself up as
// it loads.
extern "C" void WINAPI tyStart(void) {
    __asm__ volatile("fninit");
    WinMain(GetModuleHandleA(NULL), NULL, NULL, SW_SHOWDEFAULT);
}
