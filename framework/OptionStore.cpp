#include "framework/OptionStore.h"

#include "module/contracts/Forms.h"
#include "module/contracts/TADOIBQuery.h"

#include <QSqlError>
#include <QSqlQuery>

namespace cht::framework {

namespace {

[[noreturn]] void storeFailed(const QSqlError& error)
{
    throw EServerError(
        QStringLiteral("Erro ao acessar as opções salvas: %1").arg(error.text()).toStdString());
}

QSqlDatabase storeDatabase()
{
    QSqlDatabase db = dtmDBGeral::Database();
    // Created only when it is missing: on PostgreSQL the host may connect as a user without the
    // right to create tables, and CREATE ... IF NOT EXISTS would also be a notice on every call.
    QSqlQuery probe(db);
    if (probe.exec(QStringLiteral("SELECT 1 FROM OPCAO_TELA WHERE 1 = 0")))
        return db;
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("CREATE TABLE OPCAO_TELA ("
                               "CDTELA VARCHAR(20) NOT NULL, "
                               "CDOPERADOR VARCHAR(30) NOT NULL, "
                               "NMOPCAO VARCHAR(60) NOT NULL, "
                               "DSCONTEUDO TEXT, "
                               "PRIMARY KEY (CDTELA, CDOPERADOR, NMOPCAO))")))
        storeFailed(q.lastError());
    return db;
}

QSqlQuery prepared(QSqlDatabase& db, const QString& sql, const QString& screen,
                   const QString& operador)
{
    QSqlQuery q(db);
    if (!q.prepare(sql))
        storeFailed(q.lastError());
    q.addBindValue(screen);
    q.addBindValue(operador);
    return q;
}

// Prepares and runs a statement over one named option of the screen and operator.
QSqlQuery runForOption(QSqlDatabase& db, const QString& sql, const QString& screen,
                       const QString& operador, const QString& name)
{
    QSqlQuery q = prepared(db, sql, screen, operador);
    q.addBindValue(name);
    if (!q.exec())
        storeFailed(q.lastError());
    return q;
}

QString deleteOptionSql()
{
    return QStringLiteral("DELETE FROM OPCAO_TELA WHERE CDTELA = ? AND CDOPERADOR = ? AND "
                          "NMOPCAO = ?");
}

} // namespace

QStringList OptionStore::names(const QString& screen, const QString& operador)
{
    QSqlDatabase db = storeDatabase();
    QSqlQuery q = prepared(db,
                           QStringLiteral("SELECT NMOPCAO FROM OPCAO_TELA WHERE CDTELA = ? AND "
                                          "CDOPERADOR = ? ORDER BY NMOPCAO"),
                           screen, operador);
    if (!q.exec())
        storeFailed(q.lastError());
    QStringList names;
    while (q.next())
        names << q.value(0).toString();
    return names;
}

std::optional<QStringList> OptionStore::load(const QString& screen, const QString& operador,
                                             const QString& name)
{
    QSqlDatabase db = storeDatabase();
    QSqlQuery q = runForOption(db,
                               QStringLiteral("SELECT DSCONTEUDO FROM OPCAO_TELA WHERE CDTELA = ? "
                                              "AND CDOPERADOR = ? AND NMOPCAO = ?"),
                               screen, operador, name);
    if (!q.next())
        return std::nullopt;
    const QString content = q.value(0).toString();
    if (content.isEmpty())
        return QStringList();
    return content.split(QLatin1Char('\n'));
}

void OptionStore::save(const QString& screen, const QString& operador, const QString& name,
                       const QStringList& lines)
{
    QSqlDatabase db = storeDatabase();
    // Delete and insert in one transaction: the same on SQLite and PostgreSQL.
    const bool transaction = db.transaction();
    try {
        runForOption(db, deleteOptionSql(), screen, operador, name);
        QSqlQuery ins = prepared(db,
                                 QStringLiteral("INSERT INTO OPCAO_TELA (CDTELA, CDOPERADOR, "
                                                "NMOPCAO, DSCONTEUDO) VALUES (?, ?, ?, ?)"),
                                 screen, operador);
        ins.addBindValue(name);
        ins.addBindValue(lines.join(QLatin1Char('\n')));
        if (!ins.exec())
            storeFailed(ins.lastError());
        if (transaction && !db.commit())
            storeFailed(db.lastError());
    } catch (...) {
        if (transaction)
            db.rollback();
        throw;
    }
}

void OptionStore::remove(const QString& screen, const QString& operador, const QString& name)
{
    QSqlDatabase db = storeDatabase();
    runForOption(db, deleteOptionSql(), screen, operador, name);
}

} // namespace cht::framework
