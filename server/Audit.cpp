#include "Audit.h"

#include "ChtRepository.h"

#include <ctime>
#include <vector>

namespace cht::server {

namespace {

const char* const kInsert =
    "INSERT INTO AUDITORIA (DTEVENTO, CDOPERADOR, NRSESSAO, DSENDERECO, NMMETODO, DSCHAVECHT,"
    " NMCAMPO, DSVALORANTIGO, DSVALORNOVO)";

const char* const kKeyOfC = "C.NRPROPOSFAS || '/' || C.NRVERPROPFAS || '/' || C.CDTIPOSERV ||"
                            " '/' || C.NRSERVCONT || '/' || C.NRSEQUCHT || '/' || C.CDFUNC";

// The caller's four columns and the method, from the statement's first parameter on.
int bindCaller(SqlStatement& st, const Caller& caller, const std::string& method)
{
    st.bindInt(1, caller.at);
    st.bindText(2, caller.operador);
    if (caller.session > 0)
        st.bindInt(3, caller.session);
    else
        st.bindNull(3);
    st.bindText(4, caller.address);
    st.bindText(5, method);
    return 6;
}

void bindOptional(SqlStatement& st, int index, const std::optional<std::string>& value)
{
    if (value)
        st.bindText(index, *value);
    else
        st.bindNull(index);
}

const char* const kCallerValues = "CAST(? AS BIGINT), ?, CAST(? AS BIGINT), ?, ?";

std::string localTime(std::int64_t ms)
{
    const std::time_t t = static_cast<std::time_t>(ms / 1000);
    std::tm local{};
    localtime_r(&t, &local);
    char text[32];
    std::strftime(text, sizeof text, "%d/%m/%Y %H:%M:%S", &local);
    return text;
}

// The width a column takes on a terminal: characters, not bytes.
std::size_t width(const std::string& s)
{
    std::size_t n = 0;
    for (unsigned char c : s)
        n += (c & 0xC0) != 0x80 ? 1 : 0;
    return n;
}

// Control characters of stored texts (a justification may hold line breaks) would break the table.
std::string oneLine(std::string_view s)
{
    std::string out;
    for (char c : s)
        out += static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
    return out;
}

} // namespace

std::string Audit::keyText(const ChtKey& key)
{
    return key.nrProposFas + "/" + key.nrVerPropFas + "/" + key.cdTipoServ + "/" + key.nrServCont +
           "/" + key.nrSequCht + "/" + key.cdFunc;
}

void Audit::record(SqlConnection& c, const Caller& caller, const std::string& method,
                   const std::optional<std::string>& cht, const std::optional<std::string>& field,
                   const std::optional<std::string>& before,
                   const std::optional<std::string>& after)
{
    SqlStatement& st =
        c.cached(std::string(kInsert) + " VALUES (" + kCallerValues + ", ?, ?, ?, ?)");
    const int next = bindCaller(st, caller, method);
    bindOptional(st, next, cht);
    bindOptional(st, next + 1, field);
    bindOptional(st, next + 2, before);
    bindOptional(st, next + 3, after);
    st.run();
}

void Audit::recordStatusOf(SqlConnection& c, const Caller& caller, const std::string& method,
                           const std::string& keys, const std::string& status)
{
    SqlStatement& st =
        c.cached(std::string(kInsert) + " SELECT " + kCallerValues + ", " + kKeyOfC +
                 ", 'IDSTATUSCHT', C.IDSTATUSCHT, ? FROM " +
                 ChtRepository::keyRowsSql(c.dialect()) + " JOIN CHT C ON" +
                 ChtRepository::keyJoinSql() + " WHERE C.IDSTATUSCHT <> ? ORDER BY K.pos");
    int next = bindCaller(st, caller, method);
    st.bindText(next++, status);
    next = ChtRepository::bindKeySet(c, st, next, keys);
    st.bindText(next, status);
    st.run();
}

void Audit::recordRemovalOf(SqlConnection& c, const Caller& caller, const std::string& method,
                            const std::string& keys)
{
    SqlStatement& st = c.cached(std::string(kInsert) + " SELECT " + kCallerValues + ", " + kKeyOfC +
                                ", 'IDSTATUSCHT', C.IDSTATUSCHT, NULL FROM " +
                                ChtRepository::keyRowsSql(c.dialect()) + " JOIN CHT C ON" +
                                ChtRepository::keyJoinSql() + " ORDER BY K.pos");
    const int next = bindCaller(st, caller, method);
    ChtRepository::bindKeySet(c, st, next, keys);
    st.run();
}

std::size_t Audit::print(SqlConnection& c, const AuditFilter& filter, std::ostream& out)
{
    std::string sql = "SELECT DTEVENTO, CDOPERADOR, NRSESSAO, DSENDERECO, NMMETODO, DSCHAVECHT,"
                      " NMCAMPO, DSVALORANTIGO, DSVALORNOVO FROM AUDITORIA WHERE 1 = 1";
    if (filter.since)
        sql += " AND DTEVENTO >= CAST(? AS BIGINT)";
    if (!filter.cht.empty())
        sql += " AND (DSCHAVECHT = ? OR SUBSTR(DSCHAVECHT, 1, ?) = ?)";
    if (!filter.operador.empty())
        sql += " AND UPPER(CDOPERADOR) = UPPER(?)";
    sql += " ORDER BY NRAUDITORIA";
    auto st = c.prepare(sql);
    int p = 1;
    if (filter.since)
        st->bindInt(p++, *filter.since);
    if (!filter.cht.empty()) {
        const std::string prefix = filter.cht + "/";
        st->bindText(p++, filter.cht);
        st->bindInt(p++, static_cast<std::int64_t>(prefix.size()));
        st->bindText(p++, prefix);
    }
    if (!filter.operador.empty())
        st->bindText(p++, filter.operador);

    const std::vector<std::string> titles = {"Data e hora", "Operador", "Sessão",
                                             "Endereço",    "Método",   "CHT",
                                             "Campo",       "Antes",    "Depois"};
    std::vector<std::vector<std::string>> rows;
    while (st->step()) {
        std::vector<std::string> row;
        row.push_back(localTime(st->integer(0)));
        for (int col = 1; col < 9; ++col)
            row.push_back(st->isNull(col) ? "-" : oneLine(st->text(col)));
        rows.push_back(std::move(row));
    }
    std::vector<std::size_t> widths;
    for (const auto& t : titles)
        widths.push_back(width(t));
    for (const auto& row : rows)
        for (std::size_t i = 0; i < row.size(); ++i)
            widths[i] = std::max(widths[i], width(row[i]));
    auto line = [&](const std::vector<std::string>& cells) {
        std::string text;
        for (std::size_t i = 0; i < cells.size(); ++i) {
            text += cells[i];
            if (i + 1 < cells.size())
                text += std::string(widths[i] - width(cells[i]) + 2, ' ');
        }
        out << text << '\n';
    };
    line(titles);
    for (const auto& row : rows)
        line(row);
    out << rows.size() << (rows.size() == 1 ? " registro\n" : " registros\n");
    return rows.size();
}

} // namespace cht::server
