// The package unit: what the host calls to load, open and unload the module.
#include "module/Pkg_cot09800.h"

#include "module/Cli_cot09800.h"
#include "module/Cli_cot09801.h"
#include "module/Cli_cot09802.h"

#include <iterator>

namespace {

// Framework and toolkit units first (they initialize with their own libraries), the module's
// screen units last.
constexpr TPackageUnitEntry kUnits[] = {
    {"Forms", nullptr, nullptr},
    {"Cvn_msg", nullptr, nullptr},
    {"Consiste", nullptr, nullptr},
    {"Corvanta", nullptr, nullptr},
    {"Netconnection", nullptr, nullptr},
    {"Showavi", nullptr, nullptr},
    {"Pesqlista", nullptr, nullptr},
    {"PageControl98", nullptr, nullptr},
    {"TADOIBQuery", nullptr, nullptr},
    {"TfrmPadraoGrid", nullptr, nullptr},
    {"TfrmFiltroPadrao", nullptr, nullptr},
    {"TfrmRotiGeral", nullptr, nullptr},
    {"ClientDataSet", nullptr, nullptr},
    {"DataSource", nullptr, nullptr},
    {"TDBGrid", nullptr, nullptr},
    {"TDBText", nullptr, nullptr},
    {"TDBNavigator", nullptr, nullptr},
    {"TButtonFlat", nullptr, nullptr},
    {"TDateEditPlus", nullptr, nullptr},
    {"Pkg_cot09800", nullptr, nullptr},
    {"Cli_cot09802", &Cli_cot09802::Initialization, &Cli_cot09802::Finalization},
    {"Cli_cot09800", &Cli_cot09800::Initialization, &Cli_cot09800::Finalization},
    {"Cli_cot09801", &Cli_cot09801::Initialization, &Cli_cot09801::Finalization},
};

constexpr TPackageInfoTable kTable{static_cast<int>(std::size(kUnits)), kUnits};

// The numbers come from the project's version (module/CMakeLists.txt).
constexpr TPackageVersionInfo kVersion{
    CHT_MODULE_VERSION,
    CHT_MODULE_VERSION,
    CHT_MODULE_VERSION_MAJOR,
    CHT_MODULE_VERSION_MINOR,
    CHT_MODULE_VERSION_RELEASE,
    CHT_MODULE_VERSION_BUILD,
    0x0416,
    1252,
    "Português (Brasil)",
    "PKG_COT09800",
};

} // namespace

extern "C" {

void IniProc()
{
    Cli_cot09800::CriaCancelaCHT();
}

void Initialize()
{
    for (const TPackageUnitEntry& unit : kUnits)
        if (unit.Init)
            unit.Init();
}

void Finalize()
{
    for (auto it = std::rbegin(kUnits); it != std::rend(kUnits); ++it)
        if (it->FInit)
            it->FInit();
}

const TPackageInfoTable* GetPackageInfoTable()
{
    return &kTable;
}

const TPackageVersionInfo* GetPackageVersionInfo()
{
    return &kVersion;
}

} // extern "C"
