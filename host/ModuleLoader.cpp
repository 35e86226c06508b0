#include "ModuleLoader.h"

#include "platform/ExceptionText.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QtGlobal>

#include <exception>
#include <stdexcept>
#include <utility>

namespace cht::host {

ModuleLoader::ModuleLoader(QString path) : m_path(path.isEmpty() ? defaultPath() : std::move(path))
{}

ModuleLoader::~ModuleLoader()
{
    finalize();
}

QString ModuleLoader::defaultPath()
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("libcot09800.so"));
}

bool ModuleLoader::fail(const QString& message)
{
    m_error = message;
    m_iniProc = m_initialize = m_finalize = nullptr;
    m_packageInfoTable = nullptr;
    return false;
}

bool ModuleLoader::load()
{
    if (m_initialized)
        return true;
    const QString shown = QDir::toNativeSeparators(m_path);
    if (!QFileInfo::exists(m_path))
        return fail(
            QStringLiteral("O módulo \"%1\" não foi encontrado. A função Gerenciamento de CHT "
                           "não estará disponível.")
                .arg(shown));

    m_library.setFileName(m_path);
    if (!m_library.load())
        return fail(QStringLiteral("Não foi possível carregar o módulo \"%1\": %2")
                        .arg(shown, m_library.errorString()));

    m_iniProc = reinterpret_cast<EntryPoint>(m_library.resolve("IniProc"));
    m_initialize = reinterpret_cast<EntryPoint>(m_library.resolve("Initialize"));
    m_finalize = reinterpret_cast<EntryPoint>(m_library.resolve("Finalize"));
    m_packageInfoTable = reinterpret_cast<TableEntry>(m_library.resolve("GetPackageInfoTable"));
    QStringList missing;
    if (!m_iniProc)
        missing << QStringLiteral("IniProc");
    if (!m_initialize)
        missing << QStringLiteral("Initialize");
    if (!m_finalize)
        missing << QStringLiteral("Finalize");
    if (!missing.isEmpty())
        return fail(QStringLiteral(
                        "O módulo \"%1\" não é um módulo válido (pontos de entrada ausentes: %2).")
                        .arg(shown, missing.join(QStringLiteral(", "))));

    try {
        m_initialize();
    } catch (...) {
        return fail(QStringLiteral("O módulo \"%1\" falhou ao iniciar: %2")
                        .arg(shown, cht::platform::exceptionText(std::current_exception())));
    }
    m_initialized = true;
    m_error.clear();
    return true;
}

void ModuleLoader::iniProc()
{
    if (!m_initialized)
        throw std::runtime_error(
            (m_error.isEmpty() ? QStringLiteral("O módulo não está carregado.") : m_error)
                .toStdString());
    m_iniProc();
}

void ModuleLoader::finalize()
{
    if (!m_initialized)
        return;
    m_initialized = false;
    try {
        m_finalize();
    } catch (...) {
        qWarning("cht-host: o módulo falhou ao encerrar: %s",
                 qUtf8Printable(cht::platform::exceptionText(std::current_exception())));
    }
}

const void* ModuleLoader::packageInfoTable() const
{
    return m_initialized && m_packageInfoTable ? m_packageInfoTable() : nullptr;
}

} // namespace cht::host
