#include "ty_pending_reboot.h"

#include <errno.h>
#include <io.h>
#include <windows.h>

#include "ty_deferred_delete.h"
#include "ty_product.h"
#include "ty_registry.h"
#include "ty_setup_state.h"

#define TY_KEY_SESSION_MANAGER "SYSTEM\\CurrentControlSet\\Control\\Session Manager"
#define TY_VALUE_PENDING_RENAMES "PendingFileRenameOperations"

bool checkPendingReboot(bool *pending, int osFamily) {
    *pending = false;
    registryStatus = TY_REG_FAILED;
    if (osFamily == TY_OS_NT) {
        // The value's mere existence counts, even empty: Windows removes it
        // once it has carried the operations out.
        if (readRegistryString(HKEY_LOCAL_MACHINE, TY_KEY_SESSION_MANAGER, NULL, NULL,
                               TY_VALUE_PENDING_RENAMES, NULL)) {
            registryStatus = TY_REG_OK;
            *pending = true;
            return true;
        }
        if (registryStatus != TY_REG_VALUE_NOT_FOUND) return false;
        registryStatus = TY_REG_OK;
        return true;
    }
    if (osFamily == TY_OS_WINDOWS_95) {
        char iniPath[TY_PATH_SIZE];
        if (!getWininitPath(iniPath)) {
            MessageBoxA(NULL, TY_TEXT_NO_WINDOWS_FOLDER, TY_CAPTION_PENDING_CHECK, MB_ICONERROR);
            registryStatus = TY_REG_FAILED;
            return false;
        }
        // Windows renames WININIT.INI once it has processed it at start, so
        // the file's existence counts, whatever it holds.
        if (_access(iniPath, 0) == 0) {
            registryStatus = TY_REG_OK;
            *pending = true;
            return true;
        }
        if (errno != ENOENT) return false;
        registryStatus = TY_REG_OK;
        return true;
    }
    registryStatus = TY_REG_OK;
    return true;
}
