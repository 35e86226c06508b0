#include "tests/support/HostDatabase.h"

#include "module/contracts/TADOIBQuery.h"

#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <unistd.h>

namespace cht::testing {

namespace {

const QString kAdminConnection = QStringLiteral("hostDatabaseAdmin");

// Runs one statement on the cluster as its administrator; the reason on failure, else empty.
QString administer(const QString& adminUrl, const QString& sql)
{
    QString failure;
    {
        const auto s = cht::framework::dtmDBGeral::ParseSettings(adminUrl);
        QSqlDatabase db = QSqlDatabase::addDatabase(s.driver, kAdminConnection);
        db.setDatabaseName(s.databaseName);
        db.setHostName(s.host);
        if (s.port > 0)
            db.setPort(s.port);
        db.setUserName(s.user);
        db.setPassword(s.password);
        if (!db.open()) {
            failure = db.lastError().text();
        } else {
            QSqlQuery q(db);
            q.exec(QStringLiteral("SET client_min_messages TO WARNING"));
            if (!q.exec(sql))
                failure = q.lastError().text();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(kAdminConnection);
    return failure;
}

} // namespace

std::string describeBackend(const ::testing::TestParamInfo<Backend>& info)
{
    return info.param == Backend::Sqlite ? "sqlite" : "postgres";
}

HostDatabase::HostDatabase(Backend backend) : m_backend(backend)
{
    if (backend == Backend::Sqlite) {
        if (!m_dir.isValid())
            m_error = QStringLiteral("no temporary folder");
        else
            m_url = QStringLiteral("sqlite:") + m_dir.filePath(QStringLiteral("host.db"));
        return;
    }
    m_adminUrl = qEnvironmentVariable("CHT_PG_URL");
    if (m_adminUrl.isEmpty()) {
        m_error = QStringLiteral("CHT_PG_URL não definido: os testes em PostgreSQL rodam com ./cht "
                                 "test, que cria um cluster descartável");
        return;
    }
    const QString schema = QStringLiteral("h%1_%2")
                               .arg(::getpid())
                               .arg(QRandomGenerator::global()->bounded(1000000000));
    m_error = administer(m_adminUrl, QStringLiteral("CREATE SCHEMA ") + schema);
    if (!m_error.isEmpty())
        return;
    m_schema = schema;
    m_url = m_adminUrl +
            (m_adminUrl.contains(QLatin1Char('?')) ? QStringLiteral("&") : QStringLiteral("?")) +
            QStringLiteral("options=-csearch_path%3D") + schema;
}

HostDatabase::~HostDatabase()
{
    if (!m_schema.isEmpty())
        administer(m_adminUrl,
                   QStringLiteral("DROP SCHEMA ") + m_schema + QStringLiteral(" CASCADE"));
}

} // namespace cht::testing
