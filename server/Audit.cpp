#include "Audit.h"

#include "RowSet.h"

#include <ctime>
#include <vector>

namespace cht::server {

namespace {

const char* const kInsert =
    "INSERT INTO AUDITORIA (DTEVENTO, CDOPERADOR, NRSESSAO, DSENDERECO, NMMETODO, DSCHAVECHT,"
    " NMCAMPO, DSVALORANTIGO, DSVALORNOVO)";

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

const char* const kCallerValues = "CAST(? AS BIGINT), ?, CAST(? AS BIGINT), ?, ?";

const std::string* valueOf(const std::optional<std::string>& v)
{
    return v ? &*v : nullptr;
}

// One row through the statement prepared once for the connection; null where a value is absent.
void insertRow(SqlConnection& c, const Caller& caller, const std::string& method,
               std::initializer_list<const std::string*> values)
{
    static const std::string sql =
        std::string(kInsert) + " VALUES (" + kCallerValues + ", ?, ?, ?, ?)";
    SqlStatement& st = c.cached(sql);
    int index = bindCaller(st, caller, method);
    for (const std::string* v : values)
        if (v)
            st.bindText(index++, *v);
        else
            st.bindNull(index++);
    st.run();
}

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
    insertRow(c, caller, method, {valueOf(cht), valueOf(field), valueOf(before), valueOf(after)});
}

void Audit::recordAll(SqlConnection& c, const Caller& caller, const std::string& method,
                      const std::vector<AuditChange>& changes)
{
    if (changes.empty())
        return;
    // SQLite runs its prepared insert once a row, in the changes' order: a table of the rows
    // first would write each of them twice. PostgreSQL takes them in one statement, without a
    // round trip a row.
    if (c.dialect() != Dialect::Postgres) {
        for (const AuditChange& ch : changes)
            insertRow(c, caller, method,
                      {&ch.cht, &ch.field, valueOf(ch.before), valueOf(ch.after)});
        return;
    }
    RowSet rows("AUDITORIA_LINHAS", 4);
    for (const AuditChange& ch : changes)
        rows.add({&ch.cht, &ch.field, valueOf(ch.before), valueOf(ch.after)});
    rows.write(c);
    // In the changes' order, so that the trail's numbers follow them.
    SqlStatement& st =
        c.cached(std::string(kInsert) + " SELECT " + kCallerValues +
                 ", R.c0, R.c1, R.c2, R.c3 FROM " + rows.from(c.dialect()) + " ORDER BY R.pos");
    rows.bind(c, st, bindCaller(st, caller, method));
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
