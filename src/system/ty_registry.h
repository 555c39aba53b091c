// The registry primitives. Each one takes a root key and a key path in up to
// three pieces (a base and two optional components, joined with "\"), opens
// and closes its own key, returns true or false, and leaves the reason in
// registryStatus, which the caller reads right after the call.
#ifndef TY_REGISTRY_H
#define TY_REGISTRY_H

#include <windows.h>

#define TY_REGISTRY_DATA_SIZE 260   // value data buffers
#define TY_SUBKEY_NAME_SIZE 201     // subkey names: 200 characters and the NUL

// registryStatus codes.
#define TY_REG_FAILED 0              // any failure not listed below
#define TY_REG_OK 1                  // nothing has failed
#define TY_REG_CLOSE_FAILED 3        // RegCloseKey failed after the job
#define TY_REG_ENUM_FAILED 4         // RegEnumKeyExA failed
#define TY_REG_KEY_NOT_FOUND 5       // the key to open does not exist
#define TY_REG_VALUE_NOT_FOUND 7     // the key exists, the value does not
#define TY_REG_KEY_OPENED 8          // createRegistryKey found the key
#define TY_REG_KEY_CREATED 9         // createRegistryKey made the key
#define TY_REG_CREATE_FAILED 10      // createRegistryKey could not
#define TY_REG_VALUE_WRITTEN 11      // setRegistryValueIfAbsent wrote it
#define TY_REG_VALUE_PRESENT 12      // setRegistryValueIfAbsent left it
#define TY_REG_SUBKEY_NOT_FOUND 13   // deleteRegistryKey: nothing to delete
#define TY_REG_VALUE_ABSENT 14       // deleteRegistryValue: nothing to delete

extern int registryStatus;

// A key path longer than 259 characters is refused with TY_REG_FAILED before
// the registry is asked: the registry's own limits are below that for every
// path this program composes.

// True when the value exists. With a buffer (TY_REGISTRY_DATA_SIZE bytes) its
// data is read into it as a zero-terminated string; data that does not fit,
// terminator included, is a failure. Without one (NULL) only existence is
// asked, so an empty value counts as found.
bool readRegistryString(HKEY root, const char *base, const char *part1, const char *part2,
                        const char *valueName, char *buffer);

// True when every subkey of keyPath was enumerated; count is then their number.
// A subkey name over 200 characters fails the enumeration.
bool countSubkeys(HKEY root, const char *keyPath, int *count);

// Under HKEY_LOCAL_MACHINE. True with hasSubkeys telling whether keyPath has a
// subkey; a missing key has none. False on any other failure, hasSubkeys
// untouched.
bool probeKeyHasSubkeys(bool *hasSubkeys, const char *keyPath);

// Compares the number each subkey's name reads as (atof) with reference.
// noNewer ends false when one reads higher; olderFound true when one reads
// lower, olderName (TY_SUBKEY_NAME_SIZE bytes) then holding the last such
// name in enumeration order. True when the enumeration completed.
bool scanInstalledVersions(HKEY root, const char *base, const char *part1, const char *part2,
                           double reference, bool *noNewer, bool *olderFound, char *olderName);

// Creates or opens the key: status 9 created, 8 opened, 10 failed.
bool createRegistryKey(HKEY root, const char *base, const char *part1, const char *part2);

// Writes data (a zero-terminated string in a TY_REGISTRY_DATA_SIZE buffer) as
// REG_SZ when the value is absent (status 11). When it is present, its data
// replaces the caller's and nothing is written (status 12).
bool setRegistryValueIfAbsent(HKEY root, const char *base, const char *part1, const char *part2,
                              const char *valueName, char *data);

// Status 14 when the value was not there.
bool deleteRegistryValue(HKEY root, const char *base, const char *part1, const char *part2,
                         const char *valueName);

// Deletes the one subkey named under the composed key; it must have no
// subkeys of its own. Status 13 when it was not there.
bool deleteRegistryKey(HKEY root, const char *base, const char *part1, const char *part2,
                       const char *subkeyName);

#endif
