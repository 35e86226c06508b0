// Loads a screen module (a shared library with plain C entry points) and drives its life:
// Initialize at load, IniProc on demand, Finalize once at the end.
#pragma once

#include <QLibrary>
#include <QString>

namespace cht::host {

class ModuleLoader {
public:
    /// The module file; defaultPath() when empty.
    explicit ModuleLoader(QString path = {});
    /// Runs Finalize if the module is still initialized. The library stays mapped: screens and
    /// types it created may outlive this object until the process ends.
    ~ModuleLoader();
    ModuleLoader(const ModuleLoader&) = delete;
    ModuleLoader& operator=(const ModuleLoader&) = delete;

    /// libcot09800.so next to the running executable.
    static QString defaultPath();

    /// Loads the file, finds IniProc, Initialize and Finalize, and runs Initialize. On any
    /// failure returns false and errorText() says why in Portuguese; the module is then unusable.
    bool load();
    bool loaded() const { return m_initialized; }
    QString errorText() const { return m_error; }
    QString path() const { return m_path; }

    /// Runs the module's IniProc. Whatever it raises goes on to the caller.
    void iniProc();
    /// Runs Finalize once; later calls do nothing.
    void finalize();
    /// The module's unit table (GetPackageInfoTable), or null when the module has none.
    const void* packageInfoTable() const;

private:
    using EntryPoint = void (*)();
    using TableEntry = const void* (*)();

    bool fail(const QString& message);

    QString m_path;
    QLibrary m_library;
    QString m_error;
    EntryPoint m_iniProc = nullptr;
    EntryPoint m_initialize = nullptr;
    EntryPoint m_finalize = nullptr;
    TableEntry m_packageInfoTable = nullptr;
    bool m_initialized = false;
};

} // namespace cht::host
