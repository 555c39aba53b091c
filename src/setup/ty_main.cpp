#include "ty_main.h"

#include <stdlib.h>

#include "ty_error_display.h"
#include "ty_package.h"
#include "ty_product.h"
#include "ty_setup_state.h"

#define TY_TEXT_ANOTHER_INSTANCE                                               \
    "Another Tessaly installer, un-installer or updater is running.\nPlease "  \
    "wait until it completes or interrupt it before trying to install or "     \
    "update this product."

#define TY_TEXT_MODULE_PATH_ERROR                                              \
    "An error has occurred obtaining the program module path. This indicates " \
    "a serious problem with your Windows installation. Please investigate it " \
    "and re-run the uninstallation."

#define TY_TEXT_NO_MEMORY                                                      \
    "Could not allocate enough memory to open the installation package. The "  \
    "installation package could be corrupted. Please obtain a new package. "   \
    "Please visit " TY_WEB_SITE " to obtain the newest version of the "        \
    "product. In case of further problems, " TY_SUPPORT_EMAIL                  \
    " and you are going to receive promt aid."

int runSetup(HINSTANCE instance) {
    setupState.appInstance = instance;

    // The lock is shared with the maker's uninstallers and updaters; nobody
    // waits for it.
    setupState.instanceLock = CreateSemaphoreA(NULL, 1, 1, TY_LOCK_NAME);
    if (WaitForSingleObject(setupState.instanceLock, 0) == WAIT_TIMEOUT) {
        MessageBoxA(NULL, TY_TEXT_ANOTHER_INSTANCE, TY_CAPTION_ANOTHER_INSTANCE,
                    MB_ICONWARNING);
        CloseHandle(setupState.instanceLock);
        return -1;
    }

    setupState.setupCaption = TY_CAPTION_INSTALLER;
    setupState.osFamily = getOsFamily();
    setupState.programsFolderId = setupState.osFamily == 2 ? 23 : 2;
    setupState.upgradeMode = false;
    setupState.configSaved = false;

    setupState.startMenuFolder[0] = '\0';
    char modulePath[TY_PATH_SIZE];
    if (GetModuleFileNameA(instance, modulePath, sizeof modulePath) == 0) {
        MessageBoxA(NULL, TY_TEXT_MODULE_PATH_ERROR, setupState.setupCaption,
                    MB_ICONERROR);
        exitInstaller(-1);
    }
    Package *package = (Package *)calloc(1, sizeof(Package));
    if (package == NULL) {
        MessageBoxA(NULL, TY_TEXT_NO_MEMORY, setupState.setupCaption, MB_ICONERROR);
        exitInstaller(-1);
    }
    openPackage(package, modulePath);
    setupState.package = package;

    // The wizard joins here. The package stays open for it until the end.
    closePackage(setupState.package);
    free(setupState.package);
    setupState.package = NULL;
    return 0;
}
