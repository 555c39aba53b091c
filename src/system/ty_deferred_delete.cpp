#include "ty_deferred_delete.h"

#include <direct.h>
#include <errno.h>
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <windows.h>

#include "ty_product.h"
#include "ty_registry.h"
#include "ty_setup_state.h"

#define TY_TEXT_FOLDER_LEFT                                                     \
    "The following folder could not be deleted, and Windows cannot be asked "  \
    "to delete it at the next system reboot. Please delete it yourself after " \
    "the next reboot:\n\n\t"

#define TY_WININIT_NAME "\\WININIT.INI"
#define TY_RENAME_SECTION "Rename"
#define TY_RENAME_HEADER "[" TY_RENAME_SECTION "]\r\n"
#define TY_RENAME_KEY "NUL="

#define TY_KEY_RUN_ONCE "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce"
#define TY_VALUE_FOLDER_REMOVAL TY_MAKER_NAME " folder "
#define TY_INTERPRETER_FALLBACK "\\COMMAND.COM"
#define TY_REMOVE_FOLDER " /C RD "

bool getWininitPath(char *path) {
    UINT length = GetWindowsDirectoryA(path, TY_PATH_SIZE);
    // A folder too long for the buffer gives the size it would need, which
    // fails the same test.
    if (length == 0 || length + sizeof TY_WININIT_NAME > TY_PATH_SIZE) return false;
    memcpy(path + length, TY_WININIT_NAME, sizeof TY_WININIT_NAME);
    return true;
}

static bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

static char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c; }

// Whether the line [start, end) is the header of the [Rename] section; names
// are matched as Windows matches them, without regard to case or to blanks
// around the name.
static bool isRenameHeader(const char *start, const char *end) {
    while (start < end && isBlank(*start)) start++;
    if (start == end || *start != '[') return false;
    start++;
    while (start < end && isBlank(*start)) start++;
    const char *name = TY_RENAME_SECTION;
    size_t length = sizeof TY_RENAME_SECTION - 1;
    if ((size_t)(end - start) < length) return false;
    for (size_t i = 0; i < length; i++)
        if (lowerAscii(start[i]) != lowerAscii(name[i])) return false;
    start += length;
    while (start < end && isBlank(*start)) start++;
    return start < end && *start == ']';
}

static bool isSectionHeader(const char *start, const char *end) {
    while (start < end && isBlank(*start)) start++;
    return start < end && *start == '[';
}

static bool isBlankLine(const char *start, const char *end) {
    while (start < end && isBlank(*start)) start++;
    return start == end;
}

// Where a new line of the [Rename] section goes: after the section's last
// line that is not blank, so that the blank lines that set it off from the
// next section stay where they are. size when the file has no such section.
static size_t findRenameInsertion(const char *text, size_t size, bool *sectionFound) {
    *sectionFound = false;
    size_t insertAt = size;
    size_t lineStart = 0;
    while (lineStart < size) {
        const char *newline = (const char *)memchr(text + lineStart, '\n', size - lineStart);
        size_t lineEnd = newline ? (size_t)(newline - text) : size;
        size_t nextLine = newline ? lineEnd + 1 : size;
        const char *start = text + lineStart;
        const char *end = text + lineEnd;
        if (*sectionFound) {
            if (isSectionHeader(start, end)) break;
            if (!isBlankLine(start, end)) insertAt = nextLine;
        } else if (isRenameHeader(start, end)) {
            *sectionFound = true;
            insertAt = nextLine;
        }
        lineStart = nextLine;
    }
    return insertAt;
}

// The whole file into a new allocation; an absent file is empty. False when it
// exists but cannot be read, or memory is short.
static bool readWholeFile(const char *path, char **text, size_t *size) {
    *text = NULL;
    *size = 0;
    int descriptor = _open(path, _O_RDONLY | _O_BINARY);
    if (descriptor == -1) {
        if (errno != ENOENT) return false;
        *text = (char *)malloc(1);
        return *text != NULL;
    }
    bool good = false;
    long length = _lseek(descriptor, 0, SEEK_END);
    if (length >= 0 && _lseek(descriptor, 0, SEEK_SET) == 0) {
        *text = (char *)malloc((size_t)length + 1);
        size_t done = 0;
        while (*text != NULL && done < (size_t)length) {
            int got = _read(descriptor, *text + done, (unsigned int)((size_t)length - done));
            if (got <= 0) break;
            done += (size_t)got;
        }
        good = *text != NULL && done == (size_t)length;
        *size = done;
    }
    _close(descriptor);
    if (!good) {
        free(*text);
        *text = NULL;
    }
    return good;
}

static bool writeWholeFile(const char *path, const char *text, size_t size) {
    int descriptor = _open(path, _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY,
                           _S_IREAD | _S_IWRITE);
    if (descriptor == -1) return false;
    size_t done = 0;
    while (done < size) {
        int put = _write(descriptor, text + done, (unsigned int)(size - done));
        if (put <= 0) break;
        done += (size_t)put;
    }
    return _close(descriptor) == 0 && done == size;
}

// Adds "NUL=item" as the last line of the [Rename] section of the file at
// iniPath, making the file or the section when missing. A profile write would
// keep only one NUL value per section, and every item but the last would
// then stay on disk for ever. Windows does not say whether it took the
// hand-over either, so a failure here is not reported.
static void appendRenameLine(const char *iniPath, const char *item) {
    char *text;
    size_t size;
    if (!readWholeFile(iniPath, &text, &size)) return;
    bool sectionFound;
    size_t insertAt = findRenameInsertion(text, size, &sectionFound);
    bool needsBreak = insertAt == size && size > 0 && text[size - 1] != '\n';
    size_t itemLength = strlen(item);
    size_t added = (needsBreak ? 2 : 0) + (sectionFound ? 0 : sizeof TY_RENAME_HEADER - 1) +
                   sizeof TY_RENAME_KEY - 1 + itemLength + 2;
    char *updated = (char *)malloc(size + added);
    if (updated != NULL) {
        char *p = updated;
        memcpy(p, text, insertAt);
        p += insertAt;
        if (needsBreak) {
            memcpy(p, "\r\n", 2);
            p += 2;
        }
        if (!sectionFound) {
            memcpy(p, TY_RENAME_HEADER, sizeof TY_RENAME_HEADER - 1);
            p += sizeof TY_RENAME_HEADER - 1;
        }
        memcpy(p, TY_RENAME_KEY, sizeof TY_RENAME_KEY - 1);
        p += sizeof TY_RENAME_KEY - 1;
        memcpy(p, item, itemLength);
        p += itemLength;
        memcpy(p, "\r\n", 2);
        p += 2;
        memcpy(p, text + insertAt, size - insertAt);
        writeWholeFile(iniPath, updated, size + added);
        free(updated);
    }
    free(text);
}

// What the command interpreter reads even between quotes (its variables),
// or what an older one reads anywhere (command separators, pipes,
// redirections, escapes): a path holding one is never put on its command
// line, where it could run something else.
static bool readByInterpreter(const char *path) { return strpbrk(path, "%&^|<>\"") != NULL; }

// Appends text between quotes to command (size bytes); false when it does
// not fit.
static bool appendQuoted(char *command, size_t size, const char *text, size_t length) {
    size_t at = strlen(command);
    if (at + length + 3 > size) return false;
    command[at++] = '"';
    memcpy(command + at, text, length);
    at += length;
    command[at++] = '"';
    command[at] = '\0';
    return true;
}

// Asks Windows to remove the emptied folder once it has started again: a
// RunOnce entry that has the command interpreter run RD, which removes only
// an empty folder, so a folder that someone has filled again meanwhile stays
// with everything in it. WININIT.INI cannot do it, as it deletes files only.
// The entries run after WININIT.INI's deletions. Windows runs them one after
// another in the order they were made, and Wine in the reverse order of
// their names: numbering them downwards makes both remove the folders in the
// order they were handed over, innermost first. windowsFolder's interpreter
// is the one when the system names none that exists. Both paths are quoted.
// False when no entry could be made.
static bool scheduleFolderRemoval(const char *windowsFolder, const char *folder) {
    char interpreter[TY_PATH_SIZE];
    DWORD length = GetEnvironmentVariableA("COMSPEC", interpreter, sizeof interpreter);
    if (length == 0 || length >= sizeof interpreter || _access(interpreter, 0) != 0) {
        length = (DWORD)strlen(windowsFolder);
        if (length + sizeof TY_INTERPRETER_FALLBACK > sizeof interpreter) return false;
        memcpy(interpreter, windowsFolder, length);
        memcpy(interpreter + length, TY_INTERPRETER_FALLBACK, sizeof TY_INTERPRETER_FALLBACK);
        if (_access(interpreter, 0) != 0) return false;
    }
    if (readByInterpreter(interpreter) || readByInterpreter(folder)) return false;
    // RD takes the folder without a closing "\".
    size_t folderLength = strlen(folder);
    if (folderLength > 3 && folder[folderLength - 1] == '\\') folderLength--;
    char command[TY_REGISTRY_DATA_SIZE] = "";
    if (!appendQuoted(command, sizeof command, interpreter, strlen(interpreter)) ||
        strlen(command) + sizeof TY_REMOVE_FOLDER > sizeof command)
        return false;
    strcat(command, TY_REMOVE_FOLDER);
    if (!appendQuoted(command, sizeof command, folder, folderLength)) return false;

    if (!createRegistryKey(HKEY_LOCAL_MACHINE, TY_KEY_RUN_ONCE, NULL, NULL)) return false;
    for (int number = 999; number >= 100; number--) {
        // Three digits, so that names and numbers sort alike.
        char name[sizeof TY_VALUE_FOLDER_REMOVAL + 3] = TY_VALUE_FOLDER_REMOVAL;
        char *digits = name + sizeof TY_VALUE_FOLDER_REMOVAL - 1;
        digits[0] = (char)('0' + number / 100);
        digits[1] = (char)('0' + number / 10 % 10);
        digits[2] = (char)('0' + number % 10);
        digits[3] = '\0';
        char data[TY_REGISTRY_DATA_SIZE];
        // A present value's data comes back in the buffer.
        strcpy(data, command);
        if (!setRegistryValueIfAbsent(HKEY_LOCAL_MACHINE, TY_KEY_RUN_ONCE, NULL, NULL, name,
                                      data))
            return false;
        if (registryStatus == TY_REG_VALUE_WRITTEN) return true;
    }
    return false;
}

bool deleteNowOrAtReboot(const char *path, bool isFolder) {
    int result = isFolder ? _rmdir(path) : _unlink(path);
    if (result == 0 || errno == ENOENT) return true;

    // In use, not empty or not ours to delete: Windows does it at its next
    // start, when nothing holds it. The family is asked afresh: this runs
    // from the exit path too, before or without the main procedure's checks.
    if (getOsFamily() == TY_OS_NT) {
        MoveFileExA(path, NULL, MOVEFILE_DELAY_UNTIL_REBOOT);
        return false;
    }
    char iniPath[TY_PATH_SIZE];
    if (!getWininitPath(iniPath)) {
        MessageBoxA(NULL, TY_TEXT_NO_WINDOWS_FOLDER_LATER, TY_CAPTION_DEFERRED_DELETE,
                    MB_ICONERROR);
        return true;
    }
    // These systems carry the hand-overs out before long names are known:
    // a line with a long name would be passed over. When there is no short
    // name (not on a long-name volume), the name as given is the one.
    char shortPath[TY_PATH_SIZE];
    DWORD length = GetShortPathNameA(path, shortPath, sizeof shortPath);
    const char *item = length > 0 && length < sizeof shortPath ? shortPath : path;
    if (!isFolder) {
        appendRenameLine(iniPath, item);
        return false;
    }
    iniPath[strlen(iniPath) - (sizeof TY_WININIT_NAME - 1)] = '\0';
    if (scheduleFolderRemoval(iniPath, item)) return false;

    // Nothing will remove it: the user is told which folder stays.
    char message[sizeof TY_TEXT_FOLDER_LEFT + TY_PATH_SIZE];
    strcpy(message, TY_TEXT_FOLDER_LEFT);
    strcat(message, path);
    MessageBoxA(NULL, message, TY_CAPTION_DEFERRED_DELETE, MB_ICONWARNING);
    return true;
}
