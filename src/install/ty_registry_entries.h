// The product's registry entries: written in a fixed order with a count of
// how far the writing got, and removed again, newest first, up to that count
// when the installation fails.
#ifndef TY_REGISTRY_ENTRIES_H
#define TY_REGISTRY_ENTRIES_H

// registryStage: the last writing step whose call succeeded.
#define TY_STAGE_NOTHING 0
#define TY_STAGE_MAKER_KEY 1
#define TY_STAGE_PRODUCT_KEY 2
#define TY_STAGE_VERSION_KEY 3
#define TY_STAGE_INSTALL_DIR 4
#define TY_STAGE_RUN_VALUE 5
#define TY_STAGE_UNINSTALL_KEY 6
#define TY_STAGE_DISPLAY_NAME 7
#define TY_STAGE_COMPLETE 8

// registryRemovalOutcome: left as the caller set it (0) when nothing was to
// be removed, else 1 all gone, 6 something could not be removed.
#define TY_REGISTRY_REMOVED 1
#define TY_REGISTRY_NOT_REMOVED 6

// True when every entry was written (stage 8). A version key, Run value or
// uninstall entry that is already there is a failure. The descriptive values
// of the uninstall entry may fail without failing the whole.
bool writeProductRegistryEntries(int *registryStage);

// Undoes the writer up to registryStage, keeping the maker and product keys
// when they held subkeys before this installation.
void removeProductRegistryEntries(int registryStage, int *registryRemovalOutcome);

#endif
