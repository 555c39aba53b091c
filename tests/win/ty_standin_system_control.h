// Control of the system calls of the Windows test program that only Windows
// implements (ty_standin_win.cpp): files, folders, the registry and the
// kernel, beside ty_standin.h. Every setting holds until standinReset();
// fault counts start at the call that sets them.
#ifndef TY_STANDIN_SYSTEM_CONTROL_H
#define TY_STANDIN_SYSTEM_CONTROL_H

#include <windows.h>

#include <string>
#include <vector>

// _access, _unlink, _rmdir and fopen on exactly this path fail, EACCES; so
// do DeleteFileA, CopyFileA to it and a link's Save there.
void standinDenyPath(const char *path);
bool standinPathDenied(const char *path);    // named by standinDenyPath
// The nth fwrite on a stream from fopen writes only items items (fewer than
// asked) and returns that.
void standinShortFwrite(int nth, size_t items);
int standinOpenStreamCount();                // fopen'ed, not yet fclose'd
// Every allocation of exactly size bytes returns NULL.
void standinFailAllocationOfSize(size_t size);

void standinSetModulePath(const char *path); // NULL: GetModuleFileNameA fails
void standinSetWindowsDirectory(const char *path);  // NULL: GetWindowsDirectoryA
                                             // fails
void standinRefuseMoveFile();                // every MoveFileExA fails

// The registry's calls, by kind.
enum StandinRegistryCall {
    kStandinRegOpenKey,      // RegOpenKeyExA
    kStandinRegCreateKey,    // RegCreateKeyExA
    kStandinRegQueryValue,   // RegQueryValueExA
    kStandinRegSetValue,     // RegSetValueExA
    kStandinRegEnumKey,      // RegEnumKeyExA
    kStandinRegDeleteKey,    // RegDeleteKeyA
    kStandinRegDeleteValue,  // RegDeleteValueA
    kStandinRegCloseKey,     // RegCloseKey (the handle is released all the same)
    kStandinRegCallKinds
};
// The nth call of that kind returns error and does nothing else, but for
// RegCloseKey, whose handle is gone either way.
void standinFailRegistryCall(StandinRegistryCall call, int nth, LONG error);
int standinOpenRegistryKeyCount();           // opened and not yet closed
// Every RegSetValueExA, with the bytes it was given: Wine keeps a string
// without its terminator as one with it, Windows as it was given.
struct StandinRegistryWrite {
    std::string name;
    DWORD type;
    std::string data;
};
const std::vector<StandinRegistryWrite> &standinRegistryWrites();
// The next RegQueryValueExA with a buffer reads data as REG_SZ, as Windows
// reads a string stored without its terminator: the bytes as they are.
// (Wine adds the terminator and asks for a byte more room.)
void standinAnswerRegistryQuery(const std::string &data);

#endif
