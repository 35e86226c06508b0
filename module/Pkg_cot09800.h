// Unit Pkg_cot09800: the module's entry points for the host, its unit table and its version data.
#pragma once

#include "cht_module_export.h"

#include <cstdint>

/// One unit of the package: its name and its initialization and finalization routines (null
/// where the unit has nothing to run).
struct TPackageUnitEntry {
    const char* Name;
    void (*Init)();
    void (*FInit)();
};

/// The package's unit table, in initialization order.
struct TPackageInfoTable {
    int UnitCount;
    const TPackageUnitEntry* Units;
};

/// The module's version resource, for the host to show.
struct TPackageVersionInfo {
    const char* FileVersion;    // major.minor.release, the release in three digits
    const char* ProductVersion; // the same
    std::uint16_t Major, Minor, Release, Build;
    std::uint16_t LanguageId; // 0x0416: Portuguese (Brazil)
    std::uint16_t CodePage;   // 1252
    const char* LanguageName;
    const char* ProductName;
};

extern "C" {
/// Opens the screen set: the CHT management screen, then the filter.
CHT_MODULE_EXPORT void IniProc();
/// Module load: each unit's initialization, in table order. Nested loads only count.
CHT_MODULE_EXPORT void Initialize();
/// Module unload: each unit's finalization, in reverse table order.
CHT_MODULE_EXPORT void Finalize();
/// The unit table, for the host's runtime.
CHT_MODULE_EXPORT const TPackageInfoTable* GetPackageInfoTable();
/// The version resource data.
CHT_MODULE_EXPORT const TPackageVersionInfo* GetPackageVersionInfo();
}
