// The installation benchmark's Windows side, run under Wine by
// bench/ty_bench_install.py. It carries the installer's own sources and
// resources and sets up the run's state the way the main procedure does
// before the progress page, with the package opened from an installer of the
// benchmark payload, so that the page it times is the one that ships.
//
//   ty_bench_install.exe --payload P.exe --work DIR --rounds N --out FILE
//       times, in turns within every round, the progress page from
//       DialogBoxParamA to its return, each of the steps it is made of on
//       their own, libbzip2 decompressing the same 24 streams in memory, and
//       the six starts of Wine's link processor that saving six shell links
//       costs under Wine, and what the page spends besides its steps; writes
//       "name median min rounds" lines (milliseconds) to FILE.
//   ty_bench_install.exe --payload P.exe --install DIR [--out FILE] [--on-demand]
//       one installation into DIR as a run of the installer does it once the
//       wizard has its answers: lock, registry probes, package check and the
//       entries unpacked ahead from there on, picture, progress page. Exit
//       code 0 when the page went on. With --out, the milliseconds from the
//       program's first statement to the page ("setup"), of the first two
//       pages' reads, the welcome picture and the licence ("first"), and of
//       the page ("page"). --on-demand: nothing is unpacked ahead, the page unpacks
//       every entry itself.
//   ty_bench_install.exe --launch FILE -- COMMAND LINE
//       runs the command line and writes to FILE its time from
//       CreateProcessA to the end of the process (milliseconds) and its exit
//       code, which is also this program's.
//   ty_bench_install.exe --payload P.exe --clean DIR
//       checks that an installation into DIR (an --install, or a yardstick
//       installer doing the same) left the 24 files, six shortcuts and the
//       registry entries, and removes all of it. Exit code 0 when everything
//       was there and is gone.
//
// Every installation is checked (files and sizes, the first one's contents,
// shortcuts, registry) and removed again before the next round, so that each
// finds the system as a fresh installation would. Problems go to stderr with
// exit code 1; a failing page ends the process itself (exit code -1).
// windows.h first: the common controls' and shell's headers build on it.
#include <windows.h>
#include <bzlib.h>
#include <commctrl.h>
#include <io.h>
#include <shlobj.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ty_package.h"
#include "ty_page_frame.h"
#include "ty_pages.h"
#include "ty_product.h"
#include "ty_registry.h"
#include "ty_registry_entries.h"
#include "ty_resource.h"
#include "ty_setup_state.h"
#include "ty_shortcuts.h"

namespace {

const char *const kShortcutFiles[] = {
    "Configuration and Manual Update.lnk", "Create Emergency Disks.lnk",
    "Help and Documentation.lnk",          "Visit Website.lnk",
    "Give Feedback.lnk",                   "Uninstall.lnk",
};
const int kShortcutCount = 6;

[[noreturn]] void die(const std::string &message) {
    fprintf(stderr, "ty_bench_install: %s\n", message.c_str());
    fflush(stderr);
    exit(1);
}

double frequency;

double nowMs() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return (double)t.QuadPart * 1000.0 / frequency;
}

// The first pages' reads in setUpAsTheMainProcedure.
double firstPagesMs;

bool exists(const std::string &path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string withSlash(std::string folder) {
    if (folder.empty() || folder.back() != '\\') folder += '\\';
    return folder;
}

std::string withoutSlash(std::string folder) {
    while (!folder.empty() && folder.back() == '\\') folder.pop_back();
    return folder;
}

std::vector<unsigned char> extracted(uint32_t index) {
    std::vector<unsigned char> content(entryUncompressedSize(index) + 1);
    extractEntry(index, content.data());
    content.pop_back();
    return content;
}

// What the main procedure does before its first page: the lock, the run's
// fields, the registry probes, the package and its check. The welcome page
// then makes the picture that every later page, the progress page too,
// draws.
void setUpAsTheMainProcedure(const char *payload, bool ahead) {
    setupState.appInstance = GetModuleHandleA(NULL);
    setupState.instanceLock = CreateSemaphoreA(NULL, 1, 1, TY_LOCK_NAME);
    if (WaitForSingleObject(setupState.instanceLock, 0) == WAIT_TIMEOUT)
        die("another installer holds the lock");
    setupState.setupCaption = TY_CAPTION_INSTALLER;
    setupState.osFamily = getOsFamily();
    setupState.programsFolderId = setupState.osFamily == 2 ? 23 : 2;
    setupState.upgradeMode = false;
    setupState.configSaved = false;
    setupState.makerKeyHadSubkeys = true;
    setupState.productKeyHadSubkeys = true;
    if (!probeKeyHasSubkeys(&setupState.makerKeyHadSubkeys, TY_KEY_MAKER) ||
        !probeKeyHasSubkeys(&setupState.productKeyHadSubkeys, TY_KEY_PRODUCT))
        die("the registry cannot be read");
    setupState.startMenuFolder[0] = '\0';
    Package *package = (Package *)calloc(1, sizeof(Package));
    if (package == NULL) die("no memory for the package");
    openPackage(package, payload);
    setupState.package = package;
    if (package->fileCount != TY_PACKAGE_ENTRY_COUNT)
        die("the payload's package has " + std::to_string(package->fileCount) +
            " entries, expected " + std::to_string(TY_PACKAGE_ENTRY_COUNT));
    if (ahead) startExtractingAhead();
    InitCommonControls();
    // What the first two pages read from the package while the thread, when
    // there is one, has just begun its own reads: the picture and the
    // licence.
    double start = nowMs();
    HDC screen = GetDC(NULL);
    setupState.welcomePicture = loadBitmapEntry(screen, TY_ENTRY_WELCOME_PICTURE);
    ReleaseDC(NULL, screen);
    if (setupState.welcomePicture == NULL) die("the welcome picture cannot be made");
    std::vector<unsigned char> licence(entryUncompressedSize(TY_ENTRY_LICENCE) + 1);
    extractEntry(TY_ENTRY_LICENCE, licence.data());
    firstPagesMs = nowMs() - start;
}

// The product's folder in the Start Menu's programs folder.
std::string startMenuFolder() {
    char programs[MAX_PATH];
    if (!SHGetSpecialFolderPathA(NULL, programs, setupState.programsFolderId, FALSE))
        die("the programs folder " + std::to_string(setupState.programsFolderId) +
            " is unknown to the shell");
    return std::string(programs) + "\\" + TY_PRODUCT_NAME;
}

// Problems found in what one installation into folder left, appended to
// problems. With contents, every file is compared with its entry byte for
// byte; otherwise by size.
void checkInstallation(const std::string &folder, bool contents, std::string *problems) {
    for (uint32_t index = TY_ENTRY_FIRST_INSTALLED; index < TY_ENTRY_INSTALL_BOUND; index++) {
        std::string path = folder + entryName(index);
        FILE *file = fopen(path.c_str(), "rb");
        if (file == NULL) {
            *problems += "; missing " + path;
            continue;
        }
        std::vector<unsigned char> written;
        unsigned char chunk[65536];
        size_t n;
        while ((n = fread(chunk, 1, sizeof chunk, file)) > 0)
            written.insert(written.end(), chunk, chunk + n);
        fclose(file);
        if (written.size() != entryUncompressedSize(index))
            *problems += "; " + path + " has " + std::to_string(written.size()) +
                         " bytes, expected " + std::to_string(entryUncompressedSize(index));
        else if (contents && written != extracted(index))
            *problems += "; " + path + " differs from its entry";
    }
    std::string menu = startMenuFolder();
    for (const char *link : kShortcutFiles)
        if (!exists(menu + "\\" + link)) *problems += "; missing shortcut " + menu + "\\" + link;
    char data[TY_REGISTRY_DATA_SIZE];
    if (!readRegistryString(HKEY_LOCAL_MACHINE, TY_KEY_VERSION, NULL, NULL, TY_VALUE_INSTALL_DIR,
                            data))
        *problems += "; no " TY_VALUE_INSTALL_DIR " under " TY_KEY_VERSION;
    else if (withoutSlash(folder) != data)
        *problems += std::string("; " TY_VALUE_INSTALL_DIR " is ") + data + ", expected " +
                     withoutSlash(folder);
    if (!readRegistryString(HKEY_LOCAL_MACHINE, TY_KEY_UNINSTALL, TY_PRODUCT_NAME_VERSION, NULL,
                            "UninstallString", NULL))
        *problems += "; no uninstall entry";
}

void removeFiles(const std::string &folder) {
    for (uint32_t index = TY_ENTRY_FIRST_INSTALLED; index < TY_ENTRY_INSTALL_BOUND; index++)
        DeleteFileA((folder + entryName(index)).c_str());
    RemoveDirectoryA(withoutSlash(folder).c_str());
    if (exists(folder)) die("cannot remove " + folder);
}

void removeShortcutFolder() {
    std::string menu = startMenuFolder();
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((menu + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                DeleteFileA((menu + "\\" + found.cFileName).c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(menu.c_str());
    if (exists(menu)) die("cannot remove " + menu);
    setupState.startMenuFolder[0] = '\0';
}

// The installer's own undo of a complete set of registry entries; the maker
// and product keys go too unless they held other installations beforehand.
void removeRegistryEntries() {
    int outcome = 0;
    removeProductRegistryEntries(TY_STAGE_COMPLETE, &outcome);
    if (outcome != TY_REGISTRY_REMOVED ||
        readRegistryString(HKEY_LOCAL_MACHINE, TY_KEY_VERSION, NULL, NULL, TY_VALUE_INSTALL_DIR,
                           NULL))
        die("the registry entries could not be removed (outcome " + std::to_string(outcome) + ")");
}

void removeInstallation(const std::string &folder) {
    removeRegistryEntries();
    removeShortcutFolder();
    removeFiles(folder);
}

// The progress page as the main procedure runs it. Milliseconds.
double timeProgressPage(const std::string &folder) {
    if (folder.size() >= TY_PATH_SIZE) die("folder name too long: " + folder);
    strcpy(setupState.installDir, folder.c_str());
    setupState.pageResult = 0;
    double start = nowMs();
    INT_PTR result = DialogBoxParamA(setupState.appInstance, MAKEINTRESOURCEA(IDD_PROGRESS), NULL,
                                     progressPageProc, 0);
    double elapsed = nowMs() - start;
    if (result == -1) die("the progress page could not be made");
    if (setupState.pageResult != 1)
        die("the progress page ended with pageResult " + std::to_string(setupState.pageResult));
    return elapsed;
}

// The page's frame alone: opened, shown, given its last status text and
// ended, with nothing installed.
INT_PTR CALLBACK frameOnlyProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    INT_PTR result;
    if (pageFrameMessage(page, message, wParam, lParam, 0, &result)) return result;
    if (message == WM_INITDIALOG) {
        ShowWindow(page, SW_SHOW);
        UpdateWindow(page);
        SetDlgItemTextA(page, IDC_STATUS_TEXT, "Installation complete.");
        EndDialog(page, 0);
        return TRUE;
    }
    return FALSE;
}

// What Wine adds to every link that IPersistFile::Save writes, and Windows
// does not: it starts winemenubuilder.exe on the link and waits for it. Six
// such starts, one per shortcut, the way Wine makes them.
double timeLinkProcessorStarts(const std::string &work) {
    char system[MAX_PATH];
    if (GetSystemDirectoryA(system, sizeof system) == 0) die("no system folder");
    std::string program = std::string(system) + "\\winemenubuilder.exe";
    if (!exists(program)) return -1;
    double start = nowMs();
    for (int i = 0; i < kShortcutCount; i++) {
        std::string line = "\"" + program + "\" -w \"" + work + "\\" + kShortcutFiles[i] + "\"";
        STARTUPINFOA startup;
        ZeroMemory(&startup, sizeof startup);
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process;
        // With the link processor disabled (WINEDLLOVERRIDES), the start
        // fails, as it does inside Save; the attempt is what costs.
        if (CreateProcessA(NULL, &line[0], NULL, NULL, FALSE, DETACHED_PROCESS, NULL, NULL,
                           &startup, &process)) {
            WaitForSingleObject(process.hProcess, 10000);
            CloseHandle(process.hProcess);
            CloseHandle(process.hThread);
        }
    }
    return nowMs() - start;
}

struct Series {
    const char *name;
    std::vector<double> times;
};

void writeResults(const char *path, std::vector<Series> &all, int rounds) {
    FILE *out = fopen(path, "w");
    if (out == NULL) die(std::string("cannot write ") + path);
    for (Series &series : all) {
        std::vector<double> &t = series.times;
        std::sort(t.begin(), t.end());
        fprintf(out, "%s %.3f %.3f %d\n", series.name, t[t.size() / 2], t[0], rounds);
    }
    uint64_t stored = 0, content = 0;
    for (uint32_t index = TY_ENTRY_FIRST_INSTALLED; index < TY_ENTRY_INSTALL_BOUND; index++) {
        stored += setupState.package->entries[index]->compressedSize;
        content += entryUncompressedSize(index);
    }
    fprintf(out, "streams %u %llu %llu\n", TY_ENTRY_INSTALL_BOUND - TY_ENTRY_FIRST_INSTALLED,
            (unsigned long long)stored, (unsigned long long)content);
    fprintf(out, "osFamily %d\n", setupState.osFamily);
    if (fclose(out) != 0) die(std::string("cannot write ") + path);
}

int measure(const std::string &work, int rounds, const char *outPath) {
    if (!CreateDirectoryA(withoutSlash(work).c_str(), NULL) &&
        GetLastError() != ERROR_ALREADY_EXISTS)
        die("cannot make " + work);
    const uint32_t first = TY_ENTRY_FIRST_INSTALLED, bound = TY_ENTRY_INSTALL_BOUND;

    // The compressed streams, read once: the decompression is timed alone.
    std::vector<std::vector<char>> streams(bound);
    std::vector<std::vector<unsigned char>> contents(bound);
    for (uint32_t index = first; index < bound; index++) {
        const PackageEntry *entry = setupState.package->entries[index];
        if (entry->flags != TY_FLAG_BZIP2) die("entry " + std::to_string(index) + " is not bzip2");
        streams[index].resize(entry->compressedSize);
        if (_lseek(setupState.package->descriptor, (long)entry->dataOffset, SEEK_SET) == -1 ||
            _read(setupState.package->descriptor, streams[index].data(), entry->compressedSize) !=
                (int)entry->compressedSize)
            die("cannot read entry " + std::to_string(index));
        contents[index] = extracted(index);
    }

    Series decompress = {"decompress", {}};
    Series extract = {"extract", {}};
    Series write = {"write", {}};
    Series frame = {"frame", {}};
    Series shortcuts = {"shortcuts", {}};
    Series registry = {"registry", {}};
    Series page = {"page", {}};
    Series linkProcessor = {"linkprocessor", {}};
    Series rest = {"rest", {}};

    // Round 0 warms up and is not counted; the measurements take turns in
    // every round, so that a change of the machine's load falls on all alike.
    for (int round = 0; round <= rounds; round++) {
        std::string tag = std::to_string(round);
        double start = nowMs();
        for (uint32_t index = first; index < bound; index++) {
            unsigned int length = entryUncompressedSize(index);
            char *buffer = (char *)malloc(length + 1);
            int status = BZ2_bzBuffToBuffDecompress(buffer, &length, streams[index].data(),
                                                    (unsigned int)streams[index].size(), 0, 0);
            if (status != BZ_OK || length != entryUncompressedSize(index))
                die("entry " + std::to_string(index) + " does not decompress");
            free(buffer);
        }
        double decompressMs = nowMs() - start;

        start = nowMs();
        for (uint32_t index = first; index < bound; index++) {
            unsigned char *buffer = (unsigned char *)malloc(entryUncompressedSize(index) + 1);
            extractEntry(index, buffer);
            free(buffer);
        }
        double extractMs = nowMs() - start;

        // The files alone, from memory, as the page writes them.
        std::string folder = withSlash(work + "\\write-" + tag);
        start = nowMs();
        if (!CreateDirectoryA(withoutSlash(folder).c_str(), NULL)) die("cannot make " + folder);
        for (uint32_t index = first; index < bound; index++) {
            FILE *file = fopen((folder + entryName(index)).c_str(), "wb");
            if (file == NULL ||
                fwrite(contents[index].data(), 1, contents[index].size(), file) !=
                    contents[index].size())
                die("cannot write " + folder + entryName(index));
            fclose(file);
        }
        double writeMs = nowMs() - start;

        start = nowMs();
        DialogBoxParamA(setupState.appInstance, MAKEINTRESOURCEA(IDD_PROGRESS), NULL,
                        frameOnlyProc, 0);
        double frameMs = nowMs() - start;

        // The shortcuts and the registry entries alone, over the files just
        // written.
        strcpy(setupState.installDir, folder.c_str());
        int stage = 0;
        start = nowMs();
        bool made = createShortcuts(&stage);
        double shortcutsMs = nowMs() - start;
        if (!made) die("createShortcuts stopped at stage " + std::to_string(stage));
        removeShortcutFolder();
        stage = 0;
        start = nowMs();
        bool written = writeProductRegistryEntries(&stage);
        double registryMs = nowMs() - start;
        if (!written) die("writeProductRegistryEntries stopped at stage " + std::to_string(stage));
        removeRegistryEntries();
        removeFiles(folder);
        double linkProcessorMs = timeLinkProcessorStarts(withoutSlash(work));

        folder = withSlash(work + "\\page-" + tag);
        setupState.startMenuFolder[0] = '\0';
        double pageMs = timeProgressPage(folder);
        std::string problems;
        checkInstallation(folder, round == 0, &problems);
        if (!problems.empty()) die("after the progress page" + problems);
        removeInstallation(folder);

        if (round == 0) continue;
        decompress.times.push_back(decompressMs);
        extract.times.push_back(extractMs);
        write.times.push_back(writeMs);
        frame.times.push_back(frameMs);
        shortcuts.times.push_back(shortcutsMs);
        registry.times.push_back(registryMs);
        page.times.push_back(pageMs);
        // What the page spends besides its steps: status texts, repaints, the
        // progress bar.
        rest.times.push_back(pageMs -
                             (extractMs + writeMs + frameMs + shortcutsMs + registryMs));
        if (linkProcessorMs >= 0) linkProcessor.times.push_back(linkProcessorMs);
    }
    RemoveDirectoryA(withoutSlash(work).c_str());
    std::vector<Series> all = {page, decompress, extract, write, frame, shortcuts, registry, rest};
    if (!linkProcessor.times.empty()) all.push_back(linkProcessor);
    writeResults(outPath, all, rounds);
    return 0;
}

// Starts the command line and waits for its end: the process's time as
// Windows sees it, in milliseconds, and its exit code, written to outPath.
// Wine's own program start from Linux, timed outside, comes in steps of
// some 50 ms; this does not. Returns the program's exit code.
int launch(const char *outPath) {
    const char *line = strstr(GetCommandLineA(), " -- ");
    if (line == NULL) die("usage: ty_bench_install.exe --launch FILE -- COMMAND LINE");
    std::string command = line + 4;
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    double start = nowMs();
    if (!CreateProcessA(NULL, &command[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process))
        die("cannot start " + command + " (error " + std::to_string(GetLastError()) + ")");
    WaitForSingleObject(process.hProcess, INFINITE);
    double elapsed = nowMs() - start;
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    FILE *out = fopen(outPath, "w");
    if (out == NULL || fprintf(out, "%.3f %lu\n", elapsed, (unsigned long)code) < 0 ||
        fclose(out) != 0)
        die(std::string("cannot write ") + outPath);
    return (int)code;
}

const char *option(int argc, char **argv, const char *name) {
    for (int i = 1; i + 1 < argc; i++)
        if (strcmp(argv[i], name) == 0) return argv[i + 1];
    return NULL;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    frequency = (double)f.QuadPart;

    int argc = __argc;
    char **argv = __argv;
    const char *launchOut = option(argc, argv, "--launch");
    if (launchOut != NULL) return launch(launchOut);
    const char *payload = option(argc, argv, "--payload");
    const char *install = option(argc, argv, "--install");
    const char *clean = option(argc, argv, "--clean");
    const char *work = option(argc, argv, "--work");
    const char *rounds = option(argc, argv, "--rounds");
    const char *out = option(argc, argv, "--out");
    bool onDemand = false;
    for (int i = 1; i < argc; i++) onDemand = onDemand || strcmp(argv[i], "--on-demand") == 0;
    if (payload == NULL || (install == NULL && clean == NULL && (work == NULL || out == NULL)))
        die("usage: ty_bench_install.exe --payload P.exe "
            "(--work DIR [--rounds N] --out FILE | --install DIR [--out FILE] | --clean DIR)");

    double start = nowMs();
    // The rounds of the in-process measurement time the page unpacking on
    // demand: the thread runs once per process.
    setUpAsTheMainProcedure(payload, install != NULL && !onDemand);
    if (install != NULL) {
        double setupMs = nowMs() - start;
        double pageMs = timeProgressPage(withSlash(install));
        stopExtractingAhead();
        if (out != NULL) {
            FILE *file = fopen(out, "w");
            if (file == NULL || fprintf(file, "setup %.3f\nfirst %.3f\npage %.3f\n", setupMs, firstPagesMs,
                                            pageMs) < 0 ||
                fclose(file) != 0)
                die(std::string("cannot write ") + out);
        }
        return 0;
    }
    if (clean != NULL) {
        // Probed now, the keys hold the installation being removed; before
        // it, the benchmark's prefix held no installation of the maker.
        setupState.makerKeyHadSubkeys = false;
        setupState.productKeyHadSubkeys = false;
        std::string problems;
        checkInstallation(withSlash(clean), false, &problems);
        removeInstallation(withSlash(clean));
        if (!problems.empty()) die("the installation was incomplete" + problems);
        return 0;
    }
    int count = rounds != NULL ? atoi(rounds) : 21;
    if (count < 1) die("rounds must be at least 1");
    return measure(work, count, out);
}
