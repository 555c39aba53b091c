// ty_system_probe: what the Wine suite asks of Windows beside the installer:
// the Windows family as the installer judges it, short names, items held
// open, links read back, libraries loaded. Its command line is a list of
// orders, carried out in turn, each answering one line:
//   family                    2 | 3 | 4
//   short PATH                the name Windows also knows the existing item
//                             by (GetShortPathNameA), or failed LASTERROR
//   hold PATH... SECONDS      holding, once every PATH (file or folder) is
//                             open without delete sharing; keeps them open
//                             until killed or until SECONDS have passed;
//                             failed LASTERROR PATH when one cannot be opened
//   lock PATH... SECONDS      the same, sharing nothing: nobody else may even
//                             open the items
//   link PATH                 what the shell's own link object reads from the
//                             link file: TARGET<tab>ARGUMENTS<tab>WORKING
//                             FOLDER<tab>DESCRIPTION, or failed STEP HRESULT
//   load NAME                 the library loaded by that name, as any program
//                             loads one: the path it came from, or failed
//                             LASTERROR
// A malformed order answers "usage ..." and ends the program with 2.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "ty_setup_state.h"

static void answer(const char *format, ...) {
    va_list args;
    va_start(args, format);
    vfprintf(stdout, format, args);
    va_end(args);
    fputc('\n', stdout);
    // The harness reads each answer as it comes, "holding" before the end.
    fflush(stdout);
}

static int usage(const char *order) {
    answer("usage %s: delete PATH file|folder, pending, family, short PATH, hold PATH... SECONDS, "
           "lock PATH... SECONDS, link PATH, load NAME", order);
    return 2;
}

// Held the way an editor or a running program holds a file: others may read
// and write it, nobody may delete or rename it (hold), or kept to itself
// (lock), so that nobody may open it at all. The handles stay open until the
// process ends, which closes them.
static int hold(char **paths, int count, const char *seconds, DWORD sharing) {
    char *end;
    unsigned long duration = strtoul(seconds, &end, 10);
    if (count < 1 || *seconds == '\0' || *end != '\0') return usage("hold");
    for (int i = 0; i < count; i++) {
        // Backup semantics open folders as well as files.
        HANDLE item = CreateFileA(paths[i], GENERIC_READ, sharing, NULL, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, NULL);
        if (item == INVALID_HANDLE_VALUE) {
            answer("failed %lu %s", (unsigned long)GetLastError(), paths[i]);
            return 1;
        }
    }
    answer("holding");
    Sleep((DWORD)(duration * 1000));
    return 0;
}

// Read through the shell's link object, as Explorer would show the link's
// properties, not through anything of the installer.
static void link(const char *path) {
    IShellLinkA *shellLink = NULL;
    IPersistFile *file = NULL;
    WCHAR widePath[MAX_PATH];
    char target[MAX_PATH] = "", arguments[MAX_PATH] = "", working[MAX_PATH] = "";
    char description[MAX_PATH] = "";
    const char *step = NULL;
    HRESULT result = CoInitialize(NULL);
    bool initialised = SUCCEEDED(result);
    if (!initialised) step = "CoInitialize";
    if (step == NULL) {
        result = CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                  (void **)&shellLink);
        if (FAILED(result)) step = "CoCreateInstance";
    }
    if (step == NULL) {
        result = shellLink->QueryInterface(IID_IPersistFile, (void **)&file);
        if (FAILED(result)) step = "QueryInterface";
    }
    if (step == NULL && MultiByteToWideChar(CP_ACP, 0, path, -1, widePath, MAX_PATH) == 0) {
        result = HRESULT_FROM_WIN32(GetLastError());
        step = "MultiByteToWideChar";
    }
    if (step == NULL) {
        result = file->Load(widePath, STGM_READ);
        if (FAILED(result)) step = "Load";
    }
    if (step == NULL) {
        result = shellLink->GetPath(target, MAX_PATH, NULL, SLGP_RAWPATH);
        if (FAILED(result)) step = "GetPath";
    }
    if (step == NULL) {
        result = shellLink->GetArguments(arguments, MAX_PATH);
        if (FAILED(result)) step = "GetArguments";
    }
    if (step == NULL) {
        result = shellLink->GetWorkingDirectory(working, MAX_PATH);
        if (FAILED(result)) step = "GetWorkingDirectory";
    }
    if (step == NULL) {
        result = shellLink->GetDescription(description, MAX_PATH);
        if (FAILED(result)) step = "GetDescription";
    }
    if (step == NULL) answer("%s\t%s\t%s\t%s", target, arguments, working, description);
    else answer("failed %s 0x%08lx", step, (unsigned long)result);
    if (file != NULL) file->Release();
    if (shellLink != NULL) shellLink->Release();
    if (initialised) CoUninitialize();
}

int main(int argc, char **argv) {
    int i = 1;
    while (i < argc) {
        const char *order = argv[i];
        if (strcmp(order, "family") == 0) {
            answer("%d", getOsFamily());
            i += 1;
        } else if (strcmp(order, "short") == 0) {
            if (i + 1 >= argc) return usage(order);
            char name[MAX_PATH];
            DWORD length = GetShortPathNameA(argv[i + 1], name, sizeof name);
            if (length == 0 || length >= sizeof name)
                answer("failed %lu", (unsigned long)GetLastError());
            else
                answer("%s", name);
            i += 2;
        } else if (strcmp(order, "link") == 0) {
            if (i + 1 >= argc) return usage(order);
            link(argv[i + 1]);
            i += 2;
        } else if (strcmp(order, "load") == 0) {
            if (i + 1 >= argc) return usage(order);
            HMODULE library = LoadLibraryA(argv[i + 1]);
            char path[MAX_PATH];
            if (library == NULL || GetModuleFileNameA(library, path, MAX_PATH) == 0) {
                answer("failed %lu", GetLastError());
            } else {
                answer("%s", path);
            }
            i += 2;
        } else if (strcmp(order, "hold") == 0 || strcmp(order, "lock") == 0) {
            // Holding lasts until the end, so it takes the rest of the line.
            DWORD sharing = strcmp(order, "hold") == 0 ? FILE_SHARE_READ | FILE_SHARE_WRITE : 0;
            return hold(argv + i + 1, argc - i - 2, argv[argc - 1], sharing);
        } else {
            return usage(order);
        }
    }
    return 0;
}
