#include "ty_main.h"

#include <commctrl.h>
#include <direct.h>
#include <shellapi.h>
#include <shlobj.h>
#include <stdlib.h>
#include <string.h>

#include "ty_error_display.h"
#include "ty_package.h"
#include "ty_pages.h"
#include "ty_pending_reboot.h"
#include "ty_product.h"
#include "ty_registry.h"
#include "ty_resource.h"
#include "ty_saved_configuration.h"
#include "ty_setup_state.h"
#include "ty_texts.h"
#include "ty_upgrade.h"

#define TY_DETAIL_CORRUPTED_INSTALLATION                                       \
    "\n\nPlease contact " TY_SUPPORT_EMAIL " about this problem, and you "     \
    "will be instructed on how to proceed. You will receive a prompt "         \
    "response to aid you."

// The help topic that tells what is new in this version.
#define TY_HELP_WHATS_NEW 2


// The boxes that end the run before the wizard.
static void refuse(const char *text, UINT style) __attribute__((noreturn));
static void refuse(const char *text, UINT style) {
    MessageBoxA(NULL, text, setupState.setupCaption, style);
    exitInstaller(-1);
}

static void refuseCorruptedInstallation(void) __attribute__((noreturn));
static void refuseCorruptedInstallation(void) {
    showMessageWithDetail(NULL, tyText(TY_TEXT_CORRUPTED_INSTALLATION), TY_DETAIL_CORRUPTED_INSTALLATION,
                          setupState.setupCaption, MB_ICONERROR);
    exitInstaller(-1);
}

// Reads the folder of one installed version into installDir. True when it is
// known; false when that version's key has gone (a fresh installation). Every
// other outcome ends the run.
static bool readInstalledFolder(const char *version, char *installDir) {
    if (readRegistryString(HKEY_LOCAL_MACHINE, TY_KEY_MAKER, TY_PRODUCT_NAME, version,
                           TY_VALUE_INSTALL_DIR, installDir))
        return true;
    if (registryStatus == TY_REG_VALUE_NOT_FOUND) refuseCorruptedInstallation();
    if (registryStatus != TY_REG_KEY_NOT_FOUND) refuse(tyText(TY_TEXT_REGISTRY_ERROR), MB_ICONERROR);
    return false;
}

// Shows one page of the wizard and gives back what it left in pageResult.
// A page that could not be made leaves it at 0; going on would skip it (the
// licence among them) as if the user had agreed, so the run ends instead.
static int showPage(int templateId, DLGPROC procedure) {
    setupState.pageResult = 0;
    INT_PTR result = DialogBoxParamA(setupState.appInstance, MAKEINTRESOURCEA(templateId), NULL,
                                     procedure, 0);
    if (result == -1 || setupState.pageResult == 0) refuse(tyText(TY_TEXT_NO_WINDOW), MB_ICONERROR);
    return setupState.pageResult;
}

static void freePackage(void) {
    closePackage(setupState.package);
    free(setupState.package);
    setupState.package = NULL;
}

int runSetup(HINSTANCE instance) {
    setupState.appInstance = instance;

    // The lock is shared with the maker's uninstallers and updaters; nobody
    // waits for it.
    setupState.instanceLock = CreateSemaphoreA(NULL, 1, 1, TY_LOCK_NAME);
    if (WaitForSingleObject(setupState.instanceLock, 0) == WAIT_TIMEOUT) {
        MessageBoxA(NULL, tyText(TY_TEXT_ANOTHER_INSTANCE), TY_CAPTION_ANOTHER_INSTANCE,
                    MB_ICONWARNING);
        CloseHandle(setupState.instanceLock);
        return -1;
    }

    setupState.setupCaption = TY_CAPTION_INSTALLER;
    setupState.osFamily = getOsFamily();
    setupState.programsFolderId =
        setupState.osFamily == TY_OS_NT ? CSIDL_COMMON_PROGRAMS : CSIDL_PROGRAMS;
    setupState.upgradeMode = false;
    setupState.configSaved = false;

    // This very version: its folder's content does not matter, only that the
    // registry names one.
    char folder[TY_REGISTRY_DATA_SIZE];
    if (readInstalledFolder(TY_PRODUCT_VERSION, folder))
        refuse(tyText(TY_TEXT_SAME_VERSION), MB_ICONINFORMATION);

    // Versions are compared as numbers, against this version held in single
    // precision: a key named 2.90 counts as older.
    bool noNewer;
    bool olderFound;
    char olderName[TY_SUBKEY_NAME_SIZE];
    bool upgrade = false;
    if (scanInstalledVersions(HKEY_LOCAL_MACHINE, TY_KEY_MAKER, TY_PRODUCT_NAME, NULL,
                              (double)(float)atof(TY_PRODUCT_VERSION), &noNewer, &olderFound,
                              olderName)) {
        if (!noNewer) refuse(tyText(TY_TEXT_NEWER_VERSION), MB_ICONINFORMATION);
        upgrade = olderFound && readInstalledFolder(olderName, folder);
    } else if (registryStatus != TY_REG_KEY_NOT_FOUND) {
        refuse(tyText(TY_TEXT_REGISTRY_ERROR), MB_ICONERROR);
    }

    // Everything that can stop the run is settled before an upgrade is
    // offered: once the old uninstaller has run, only an installer that can
    // install is of use to the user.
    bool pending;
    if (!checkPendingReboot(&pending, setupState.osFamily))
        refuse(tyText(TY_TEXT_INITIALISATION_ERROR), MB_ICONERROR);
    if (pending && MessageBoxA(NULL, tyText(TY_TEXT_PENDING_REBOOT), setupState.setupCaption,
                               MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDNO)
        exitInstaller(-1);

    setupState.startMenuFolder[0] = '\0';
    char modulePath[TY_PATH_SIZE];
    if (GetModuleFileNameA(instance, modulePath, sizeof modulePath) == 0)
        refuse(tyText(TY_TEXT_MODULE_PATH_ERROR), MB_ICONERROR);
    Package *package = (Package *)calloc(1, sizeof(Package));
    if (package == NULL) refuse(tyText(TY_TEXT_NO_MEMORY_FOR_PACKAGE), MB_ICONERROR);
    setupState.package = package;
    openPackage(package, modulePath);
    startExtractingAhead();

    int exitCode;
    if (upgrade && !upgradeOlderVersion(olderName, folder, &exitCode)) {
        stopExtractingAhead();
        removeUpgradeFolder();
        return exitCode;
    }

    // Keys that already held other installations are left alone by the
    // registry entries' removal. Probed after the old uninstaller, which
    // removes its own.
    setupState.makerKeyHadSubkeys = true;
    if (!probeKeyHasSubkeys(&setupState.makerKeyHadSubkeys, TY_KEY_MAKER))
        refuse(tyText(TY_TEXT_REGISTRY_ERROR), MB_ICONERROR);
    setupState.productKeyHadSubkeys = true;
    if (!probeKeyHasSubkeys(&setupState.productKeyHadSubkeys, TY_KEY_PRODUCT))
        refuse(tyText(TY_TEXT_REGISTRY_ERROR), MB_ICONERROR);

    // The progress page's bar is a common control.
    InitCommonControls();
    if (!setupState.upgradeMode) {
        if (showPage(IDD_WELCOME, welcomePageProc) == TY_PAGE_RESULT_EXIT ||
            showPage(IDD_LICENCE, licencePageProc) == TY_PAGE_RESULT_EXIT ||
            showPage(IDD_DESTINATION, destinationPageProc) == TY_PAGE_RESULT_EXIT) {
            freePackage();
            return 1;
        }
    } else {
        strcpy(setupState.installDir, setupState.oldInstallDir);
    }
    // A failed installation does not come back here: the progress page rolls
    // back and ends the process itself.
    if (showPage(IDD_PROGRESS, progressPageProc) == TY_PAGE_RESULT_EXIT) {
        freePackage();
        return 1;
    }
    // Every installed entry has been taken; the thread has nothing left to do.
    stopExtractingAhead();

    setupState.startProduct = false;
    if (!setupState.upgradeMode) {
        // The ready page gives the lock up and has only Exit, so what it
        // leaves in pageResult decides nothing. The installation is done by
        // now: a ready page that cannot be shown only means no tasks run.
        setupState.pageResult = 0;
        DialogBoxParamA(setupState.appInstance, MAKEINTRESOURCEA(IDD_READY), NULL,
                        readyPageProc, 0);
        freePackage();
        if (!setupState.startProduct) return 0;
    }

    // The scheduler runs with the installation folder as its current folder;
    // after an update the help file below is found there as well.
    char scheduler[TY_PATH_SIZE + sizeof TY_FILE_SCHEDULER];
    strcpy(scheduler, setupState.installDir);
    strcat(scheduler, TY_FILE_SCHEDULER);
    _chdir(setupState.installDir);
    ShellExecuteA(NULL, "open", scheduler, NULL, NULL, SW_SHOWDEFAULT);

    if (setupState.upgradeMode) {
        if (setupState.configSaved && setupState.configMigrated)
            MessageBoxA(NULL, tyText(TY_TEXT_CONFIG_MIGRATED), setupState.setupCaption, MB_ICONINFORMATION);
        else if (setupState.configSaved)
            reportConfigurationNotMigrated();
        // The help file lies in the installation folder, now the current one.
        if (MessageBoxA(NULL, tyText(TY_TEXT_UPDATE_COMPLETE), setupState.setupCaption,
                        MB_ICONINFORMATION | MB_YESNO) == IDYES)
            WinHelpA(NULL, TY_FILE_HELP, HELP_CONTEXT, TY_HELP_WHATS_NEW);
        removeUpgradeFolder();
    }
    return 0;
}
