// The product's calls into the system libraries go through import slots that
// this program defines itself (__imp__Name@N, as the installer defines its
// late imports) in place of the import libraries' own. They are filled with
// the real functions before any other constructor runs; a test puts its own
// function into one to record or refuse the call, and the reset puts the real
// one back. The calls the C runtime makes before that (the kernel's, for
// its own start) must not be among them.
#include "ty_import_slots_win.h"

#include <stdio.h>
#include <stdlib.h>

#define TY_SLOT(library, name, argumentBytes) FARPROC slot##name;
#define TY_CRT_SLOT(name) FARPROC slot##name;
extern "C" {
TY_LATE_IMPORTS(TY_SLOT)
TY_KERNEL_IMPORTS(TY_SLOT)
TY_CRT_IMPORTS(TY_CRT_SLOT)
}

namespace {

struct Slot {
    const char *library;
    const char *name;
    FARPROC *slot;
    FARPROC real;
};

#define TY_SLOT_ROW(library, name, argumentBytes) {library, #name, &slot##name, NULL},
#define TY_CRT_SLOT_ROW(name) {"msvcrt.dll", #name, &slot##name, NULL},
Slot slots[] = {TY_LATE_IMPORTS(TY_SLOT_ROW) TY_KERNEL_IMPORTS(TY_SLOT_ROW) TY_CRT_IMPORTS(TY_CRT_SLOT_ROW)};

struct SlotFilling {
    SlotFilling() {
        for (Slot &slot : slots) {
            HMODULE library = LoadLibraryA(slot.library);
            slot.real = library != NULL ? GetProcAddress(library, slot.name) : NULL;
            if (slot.real == NULL) {
                fprintf(stderr, "no %s in %s\n", slot.name, slot.library);
                abort();
            }
            *slot.slot = slot.real;
        }
    }
} slotFilling __attribute__((init_priority(101)));

}  // namespace

FARPROC realImport(FARPROC *slot) {
    for (const Slot &each : slots)
        if (each.slot == slot) return each.real;
    abort();
}

void restoreImportSlots() {
    for (Slot &slot : slots) *slot.slot = slot.real;
}
