// The upgrade's saved configuration copies and its folder under the
// temporary folder, as the setup state records them: what becomes of them
// whichever way the run ends.
#ifndef TY_SAVED_CONFIGURATION_H
#define TY_SAVED_CONFIGURATION_H

// Disposes of an upgrade's saved configuration copies. When the old version
// has already been removed they are the user's only copy and are kept, and
// the user is told where they are; otherwise each goes back into the old
// folder where the file is missing there, and a copy that cannot is kept
// and named. Then removes the upgrade's folder if nothing is left in it.
void disposeSavedConfiguration(void);

// After an update whose saved configuration did not all go back into the
// new installation: the box that names the copies kept.
void reportConfigurationNotMigrated(void);

// Removes the upgrade's folder under the temporary folder when nothing of
// the run is left in it.
void removeUpgradeFolder(void);

#endif
