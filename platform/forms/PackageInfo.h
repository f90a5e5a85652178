#pragma once

// What a run-time module exports for the host's loader.
extern "C" {
struct TUnitEntry {
    const char *Name;
    void (*Init)();
    void (*Fini)();
};
struct TPackageInfoTable {
    int UnitCount;
    const TUnitEntry *Units;
};
// Read by the loader before the module's units are initialised.
struct TPackageDescription {
    const char *Kind; // "RunOnly": loaded and unloaded while the host runs
    int RequiredCount;
    const char *const *Required; // libraries that must be loaded before the module, in order
    int ContainsCount;
    const char *const *Contains; // the module's own units, in order
};
}
