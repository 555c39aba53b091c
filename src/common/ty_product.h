// The product's fixed values. The installer is built for one product in one
// version; nothing here is read at run time. String macros so that messages
// can be composed at compile time ("... found at " TY_WEB_SITE ". ...").
#ifndef TY_PRODUCT_H
#define TY_PRODUCT_H

// Identity
#define TY_MAKER_NAME "Tessaly"
#define TY_MAKER_FOLDER "\\Tessaly\\"
#ifndef TY_PRODUCT_VERSION
#define TY_PRODUCT_VERSION "2.9"
#endif
#define TY_PRODUCT_NAME "Quenfold for Vexor for DOS"
#define TY_PRODUCT_NAME_VERSION TY_PRODUCT_NAME " " TY_PRODUCT_VERSION
#define TY_INSTALLER_VERSION "1.0"
#define TY_PUBLISHER "Tessaly Ltd."
#define TY_COMMENT "An Tessaly\xae Product"
#define TY_WEB_SITE "http://www.tessaly.example"
#define TY_SUPPORT_EMAIL "support@tessaly.example"
#define TY_WEB_SHORTCUT_FILE "www.tessaly.example.url"

// Registry, all under HKEY_LOCAL_MACHINE
#define TY_KEY_SOFTWARE "SOFTWARE"
#define TY_KEY_MAKER_LEAF "Tessaly"
#define TY_KEY_MAKER "SOFTWARE\\Tessaly"
#define TY_KEY_PRODUCT "SOFTWARE\\Tessaly\\Quenfold for Vexor for DOS"
#define TY_KEY_VERSION TY_KEY_PRODUCT "\\" TY_PRODUCT_VERSION
#define TY_VALUE_INSTALL_DIR "InstallDir"
#define TY_KEY_RUN "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"
#define TY_VALUE_RUN_SCHEDULER "Tessaly Ticklet for Vexor for DOS"
#define TY_KEY_UNINSTALL "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
#define TY_KEY_PROGRAM_FILES "Software\\Microsoft\\Windows\\CurrentVersion"
#define TY_VALUE_PROGRAM_FILES "ProgramFilesDir"

// Files of the installed product that the installer names
#define TY_FILE_MAIN_PROGRAM "Tessaly Quenfold.exe"
#define TY_FILE_SCHEDULER "Tessaly Ticklet.exe"
#define TY_FILE_UNINSTALLER "uninstaller.exe"
#define TY_FILE_HELP "quenfold_for_vexor_for_dos.hlp"
#define TY_FILE_SCHEDULER_CONFIG "TYScheduler.dat"
#define TY_FILE_PRODUCT_CONFIG "TYQuenfold.ini"
#define TY_FILE_MAIL_SHORTCUT "mail_to_tessaly.url"

// Run
#define TY_LOCK_NAME "TessalyInstallerOrUninstaller"
#define TY_CAPTION_FATAL "Tessaly Installer 1.0"
#define TY_CAPTION_NUMBERED_ERROR "Tessaly Installer 1.0: Error"
#define TY_CAPTION_INSTALLER "Tessaly Installer"
#define TY_CAPTION_ANOTHER_INSTANCE "Tessaly Installer / Updater"
#define TY_CAPTION_UPDATER "Tessaly Updater"
#define TY_CAPTION_DEFERRED_DELETE "Tessaly Installer/Uninstaller"
#define TY_CAPTION_PENDING_CHECK "Tessaly Installer/Uinstaller"
#define TY_SIGNATURE "Tessaly\xae Installer"

// No Windows folder: the short text where the program cannot go on, the long
// one where it can.
#define TY_TEXT_NO_WINDOWS_FOLDER                                               \
    "An error has occurred obtaining the system main (Windows) path. This "    \
    "indicates a serious problem with your Windows installation."
#define TY_TEXT_NO_WINDOWS_FOLDER_LATER                                         \
    TY_TEXT_NO_WINDOWS_FOLDER " Please investigate it once this program finishes."

// Package roles
#define TY_ENTRY_WELCOME_PICTURE 0
#define TY_ENTRY_LICENCE 1
#define TY_ENTRY_FIRST_INSTALLED 1
#define TY_ENTRY_INSTALL_BOUND 25  // entries 1..24 are installed
#define TY_PROGRESS_DIVISOR 979031

#endif
