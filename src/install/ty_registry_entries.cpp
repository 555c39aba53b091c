#include "ty_registry_entries.h"

#include <string.h>

#include "ty_product.h"
#include "ty_registry.h"
#include "ty_setup_state.h"

// text (its first textLength characters) followed by tail, into data
// (TY_REGISTRY_DATA_SIZE bytes). A value that does not fit is refused rather
// than cut: a cut path names some other file.
static bool composeData(char *data, const char *text, size_t textLength, const char *tail) {
    size_t tailLength = strlen(tail);
    if (textLength + tailLength >= TY_REGISTRY_DATA_SIZE) return false;
    memcpy(data, text, textLength);
    memcpy(data + textLength, tail, tailLength + 1);
    return true;
}

// The values of the uninstall entry that only describe the product. installDir
// is put in front of tail where inInstallDir is set.
struct DescriptiveValue {
    const char *name;
    bool inInstallDir;
    const char *tail;
};

static const DescriptiveValue descriptiveValues[] = {
    {"Comments", false, TY_COMMENT},
    {"Contact", false, TY_SUPPORT_EMAIL},
    {"DisplayIcon", true, TY_FILE_MAIN_PROGRAM},
    {"DisplayVersion", false, TY_PRODUCT_VERSION},
    {"HelpLink", false, TY_WEB_SITE "/support"},
    {"Publisher", false, TY_PUBLISHER},
    {"Readme", true, TY_FILE_HELP},
    {"URLInfoAbout", false, TY_WEB_SITE},
    {"URLUpdateInfo", false, TY_WEB_SITE},
};

bool writeProductRegistryEntries(int *registryStage) {
    *registryStage = TY_STAGE_NOTHING;
    const char *installDir = setupState.installDir;
    size_t dirLength = strlen(installDir);
    char data[TY_REGISTRY_DATA_SIZE];

    if (!createRegistryKey(HKEY_LOCAL_MACHINE, TY_KEY_MAKER, NULL, NULL)) return false;
    *registryStage = TY_STAGE_MAKER_KEY;
    if (!createRegistryKey(HKEY_LOCAL_MACHINE, TY_KEY_MAKER, TY_PRODUCT_NAME, NULL)) return false;
    *registryStage = TY_STAGE_PRODUCT_KEY;

    // A version key, Run value or uninstall entry that was there before is a
    // failure, and is not counted: it belongs to someone else, and the
    // removal takes out only what this installation wrote.
    if (!createRegistryKey(HKEY_LOCAL_MACHINE, TY_KEY_MAKER, TY_PRODUCT_NAME, TY_PRODUCT_VERSION) ||
        registryStatus != TY_REG_KEY_CREATED)
        return false;
    *registryStage = TY_STAGE_VERSION_KEY;

    // installDir ends with a backslash; the folder is registered without it.
    if (!composeData(data, installDir, dirLength > 0 ? dirLength - 1 : 0, "")) return false;
    if (!setRegistryValueIfAbsent(HKEY_LOCAL_MACHINE, TY_KEY_MAKER, TY_PRODUCT_NAME, TY_PRODUCT_VERSION,
                                  TY_VALUE_INSTALL_DIR, data) ||
        registryStatus != TY_REG_VALUE_WRITTEN)
        return false;
    *registryStage = TY_STAGE_INSTALL_DIR;

    if (!createRegistryKey(HKEY_LOCAL_MACHINE, TY_KEY_RUN, NULL, NULL)) return false;
    if (!composeData(data, installDir, dirLength, TY_FILE_SCHEDULER)) return false;
    if (!setRegistryValueIfAbsent(HKEY_LOCAL_MACHINE, TY_KEY_RUN, NULL, NULL, TY_VALUE_RUN_SCHEDULER, data) ||
        registryStatus != TY_REG_VALUE_WRITTEN)
        return false;
    *registryStage = TY_STAGE_RUN_VALUE;

    if (!createRegistryKey(HKEY_LOCAL_MACHINE, TY_KEY_UNINSTALL, TY_PRODUCT_NAME_VERSION, NULL) ||
        registryStatus != TY_REG_KEY_CREATED)
        return false;
    *registryStage = TY_STAGE_UNINSTALL_KEY;

    composeData(data, TY_PRODUCT_NAME_VERSION, strlen(TY_PRODUCT_NAME_VERSION), "");
    if (!setRegistryValueIfAbsent(HKEY_LOCAL_MACHINE, TY_KEY_UNINSTALL, TY_PRODUCT_NAME_VERSION, NULL,
                                  "DisplayName", data) ||
        registryStatus != TY_REG_VALUE_WRITTEN)
        return false;
    *registryStage = TY_STAGE_DISPLAY_NAME;

    if (!composeData(data, installDir, dirLength, TY_FILE_UNINSTALLER)) return false;
    if (!setRegistryValueIfAbsent(HKEY_LOCAL_MACHINE, TY_KEY_UNINSTALL, TY_PRODUCT_NAME_VERSION, NULL,
                                  "UninstallString", data) ||
        registryStatus != TY_REG_VALUE_WRITTEN)
        return false;
    *registryStage = TY_STAGE_COMPLETE;

    // The product works without these; one that cannot be written is left out.
    for (size_t i = 0; i < sizeof descriptiveValues / sizeof descriptiveValues[0]; i++) {
        const DescriptiveValue *value = &descriptiveValues[i];
        bool fits = value->inInstallDir ? composeData(data, installDir, dirLength, value->tail)
                                        : composeData(data, "", 0, value->tail);
        if (!fits) continue;
        setRegistryValueIfAbsent(HKEY_LOCAL_MACHINE, TY_KEY_UNINSTALL, TY_PRODUCT_NAME_VERSION, NULL,
                                 value->name, data);
    }
    return true;
}

// A removal step succeeded when the thing is gone, whether it went now or was
// already gone (the thing itself or the key it was in).
static bool isGone(bool deleted) {
    return deleted || registryStatus == TY_REG_SUBKEY_NOT_FOUND || registryStatus == TY_REG_VALUE_ABSENT ||
           registryStatus == TY_REG_KEY_NOT_FOUND;
}

// True when every step that ran left its key or value gone. The maker and
// product keys stay when they held another product or version before: the
// flags were taken before anything was written.
static bool removeUpToStage(int registryStage) {
    bool allGone = true;
    if (registryStage >= TY_STAGE_UNINSTALL_KEY &&
        !isGone(deleteRegistryKey(HKEY_LOCAL_MACHINE, TY_KEY_UNINSTALL, NULL, NULL, TY_PRODUCT_NAME_VERSION)))
        allGone = false;
    if (registryStage >= TY_STAGE_RUN_VALUE &&
        !isGone(deleteRegistryValue(HKEY_LOCAL_MACHINE, TY_KEY_RUN, NULL, NULL, TY_VALUE_RUN_SCHEDULER)))
        allGone = false;
    if (registryStage >= TY_STAGE_VERSION_KEY &&
        !isGone(deleteRegistryKey(HKEY_LOCAL_MACHINE, TY_KEY_MAKER, TY_PRODUCT_NAME, NULL, TY_PRODUCT_VERSION)))
        allGone = false;
    if (setupState.productKeyHadSubkeys) return allGone;
    if (registryStage >= TY_STAGE_PRODUCT_KEY &&
        !isGone(deleteRegistryKey(HKEY_LOCAL_MACHINE, TY_KEY_MAKER, NULL, NULL, TY_PRODUCT_NAME)))
        allGone = false;
    if (setupState.makerKeyHadSubkeys) return allGone;
    if (registryStage >= TY_STAGE_MAKER_KEY &&
        !isGone(deleteRegistryKey(HKEY_LOCAL_MACHINE, TY_KEY_SOFTWARE, NULL, NULL, TY_KEY_MAKER_LEAF)))
        allGone = false;
    return allGone;
}

void removeProductRegistryEntries(int registryStage, int *registryRemovalOutcome) {
    if (registryStage <= TY_STAGE_NOTHING) return;
    *registryRemovalOutcome = removeUpToStage(registryStage) ? TY_REGISTRY_REMOVED : TY_REGISTRY_NOT_REMOVED;
}
