// The host's shared database connection: one named QSqlDatabase for every lookup and the
// saved-options store.
#include "module/contracts/TADOIBQuery.h"

#include "module/contracts/Forms.h"

#include <QSqlError>
#include <QUrl>
#include <QUrlQuery>

namespace cht::framework {

namespace {

const QString kConnectionName = QStringLiteral("chtGeral");

QString& configured()
{
    static QString text;
    return text;
}

void dropConnection()
{
    if (!QSqlDatabase::contains(kConnectionName))
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(kConnectionName, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(kConnectionName);
}

// Applies one libpq keyword to the settings; unknown ones travel as connect options.
void applyKeyword(TDatabaseSettings& s, const QString& key, const QString& value)
{
    if (key == QLatin1String("host"))
        s.host = value;
    else if (key == QLatin1String("port"))
        s.port = value.toInt();
    else if (key == QLatin1String("dbname"))
        s.databaseName = value;
    else if (key == QLatin1String("user"))
        s.user = value;
    else if (key == QLatin1String("password"))
        s.password = value;
    else if (!key.isEmpty())
        s.options += (s.options.isEmpty() ? QString() : QStringLiteral(";")) + key +
                     QLatin1Char('=') + value;
}

TDatabaseSettings parseUrl(const QString& text)
{
    TDatabaseSettings s;
    s.driver = QStringLiteral("QPSQL");
    const QUrl url(text);
    if (!url.isValid())
        throw EServerError(
            QStringLiteral("Endereço do banco de dados inválido: %1").arg(text).toStdString());
    s.host = url.host();
    s.port = url.port(-1);
    s.user = url.userName();
    s.password = url.password();
    s.databaseName = url.path().mid(1);
    const QUrlQuery query(url);
    for (const auto& [key, value] : query.queryItems(QUrl::FullyDecoded))
        applyKeyword(s, key, value);
    return s;
}

TDatabaseSettings parseKeywords(const QString& text)
{
    TDatabaseSettings s;
    s.driver = QStringLiteral("QPSQL");
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n) {
        while (i < n && text[i].isSpace())
            ++i;
        const qsizetype eq = text.indexOf(QLatin1Char('='), i);
        if (eq < 0)
            break;
        const QString key = text.mid(i, eq - i).trimmed();
        i = eq + 1;
        while (i < n && text[i].isSpace())
            ++i;
        QString value;
        if (i < n && text[i] == QLatin1Char('\'')) {
            ++i;
            while (i < n && text[i] != QLatin1Char('\'')) {
                if (text[i] == QLatin1Char('\\') && i + 1 < n)
                    ++i;
                value += text[i++];
            }
            ++i;
        } else {
            while (i < n && !text[i].isSpace())
                value += text[i++];
        }
        applyKeyword(s, key, value);
    }
    return s;
}

} // namespace

TDatabaseSettings dtmDBGeral::ParseSettings(const QString& database)
{
    const QString text = database.trimmed();
    if (text.isEmpty())
        throw EServerError("O banco de dados do sistema não foi configurado.");
    if (text.startsWith(QLatin1String("postgresql://")) ||
        text.startsWith(QLatin1String("postgres://")))
        return parseUrl(text);
    if (text.startsWith(QLatin1String("sqlite:"))) {
        TDatabaseSettings s;
        s.driver = QStringLiteral("QSQLITE");
        s.databaseName = text.mid(7);
        return s;
    }
    if (text.contains(QLatin1Char('=')))
        return parseKeywords(text);
    TDatabaseSettings s;
    s.driver = QStringLiteral("QSQLITE");
    s.databaseName = text;
    return s;
}

void dtmDBGeral::Configure(const QString& database)
{
    dropConnection();
    configured() = database;
}

QString dtmDBGeral::Configured()
{
    return configured();
}

QSqlDatabase dtmDBGeral::Database()
{
    if (QSqlDatabase::contains(kConnectionName)) {
        QSqlDatabase db = QSqlDatabase::database(kConnectionName, false);
        if (db.isOpen())
            return db;
    }
    const TDatabaseSettings s = ParseSettings(configured());
    if (!QSqlDatabase::isDriverAvailable(s.driver))
        throw EServerError(QStringLiteral("O driver de banco de dados %1 não está instalado.")
                               .arg(s.driver)
                               .toStdString());
    QSqlDatabase db = QSqlDatabase::contains(kConnectionName)
                          ? QSqlDatabase::database(kConnectionName, false)
                          : QSqlDatabase::addDatabase(s.driver, kConnectionName);
    db.setDatabaseName(s.databaseName);
    if (!s.host.isEmpty())
        db.setHostName(s.host);
    if (s.port > 0)
        db.setPort(s.port);
    if (!s.user.isEmpty())
        db.setUserName(s.user);
    if (!s.password.isEmpty())
        db.setPassword(s.password);
    if (!s.options.isEmpty())
        db.setConnectOptions(s.options);
    if (!db.open())
        throw EServerError(QStringLiteral("Não foi possível conectar ao banco de dados do "
                                          "sistema: %1")
                               .arg(db.lastError().text())
                               .toStdString());
    return db;
}

} // namespace cht::framework
