// The machine of the installation tests: drive C: with Program Files, a
// Windows folder and both programs folders of the Start Menu (on Windows the
// machine's own drive, cleaned after each test); an installer whose package
// holds the picture and 24 files, opened as the main procedure opens it; the
// setup state of a fresh installation on the NT family into the default
// destination, with the lock taken. Faults come through the Windows test
// program's import slots (tests/win).
#ifndef TY_INSTALL_TEST_SUPPORT_H
#define TY_INSTALL_TEST_SUPPORT_H

#include <string>
#include <vector>

#include "ty_resource.h"
#include "ty_standin_link_control.h"
#include "ty_standin_run_control.h"
#include "ty_standin_system_control.h"
#include "ty_standin_ui_control.h"
#include "ty_common_test_support.h"

extern const char kDefaultInstallDir[];   // ends with "\"
extern const char kMakerFolder[];
extern const char kCommonPrograms[];      // CSIDL_COMMON_PROGRAMS
extern const char kUserPrograms[];        // CSIDL_PROGRAMS
extern const char kWindowsFolder[];
extern const char kStartMenuFolder[];     // kCommonPrograms + the product's folder

// The boxes' texts, as the user reads them.
extern const std::string kUndoAfterShortcutsText;
extern const std::string kUndoAfterRegistryText;
extern const std::string kUndeterminedFolderText;
extern const std::string kRegistryFailedText;
extern const std::string kShortcutsLeftText;
extern const std::string kSystemProblemText;
extern const std::string kRegistryLeftText;
extern const std::string kNoWindowsFolderText;

// One installed entry of the package.
struct PackageFile {
    std::string name;
    Bytes content;
    bool compressed;
    bool damaged = false;  // a byte of its bzip2 stream changed
};

class InstallTest : public ProductTest {
protected:
    void SetUp() override;
    // Also checks that every COM object, item list, stream and registry key
    // was given back.
    void TearDown() override;

    // Entries 1 to 24 as installed: names of the product's files and others,
    // sizes all different, one of them empty.
    static std::vector<PackageFile> standardFiles();
    // Writes an installer with entry 0 the picture and these entries, and
    // opens it into a new setupState.package, in place of the one open.
    void usePackage(const std::vector<PackageFile> &files);

    // The progress page, opened on a fresh page window whose status line
    // holds its template text.
    ProductRun runPage();

    // What is at a path of drive C:.
    bool exists(const std::string &windowsPath) const;
    std::string contentOf(const std::string &windowsPath) const;
    void makeFolder(const std::string &windowsPath) const;
    void makeFile(const std::string &windowsPath, const std::string &content) const;

    // Box index: its text, icon, owner and caption.
    void expectBox(size_t index, const std::string &text, UINT style, HWND owner,
                   const char *caption = TY_CAPTION_INSTALLER) const;
    // The process ended with -1 after exactly boxes boxes, gave the lock back
    // and released the package.
    void expectFailedRun(const ProductRun &run, size_t boxes) const;
    // installDir + name of every entry, existing or not.
    void expectFiles(unsigned firstEntry, unsigned lastEntry, bool present) const;

    std::vector<PackageFile> files;   // entries 1 to 24 of the package in use
    HWND page;
};

#endif
