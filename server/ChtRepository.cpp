#include "ChtRepository.h"

#include "PacketColumn.h"

#include <optional>

namespace cht::server {

using wire::FieldDef;
using wire::FieldType;

namespace {

FieldDef text(const char* name, std::uint32_t size)
{
    return {name, FieldType::Text, size};
}
FieldDef date(const char* name)
{
    return {name, FieldType::DateTime, 0};
}
FieldDef real(const char* name)
{
    return {name, FieldType::Float, 0};
}

const char* const kKeyWhere = " NRPROPOSFAS = ? AND NRVERPROPFAS = ? AND CDTIPOSERV = ?"
                              " AND NRSERVCONT = ? AND NRSEQUCHT = ? AND CDFUNC = ?";

const char* const kKeyWhereC = " C.NRPROPOSFAS = ? AND C.NRVERPROPFAS = ? AND C.CDTIPOSERV = ?"
                               " AND C.NRSERVCONT = ? AND C.NRSEQUCHT = ? AND C.CDFUNC = ?";

int bindKey(SqlStatement& st, int first, const ChtKey& key)
{
    st.bindText(first, key.nrProposFas);
    st.bindText(first + 1, key.nrVerPropFas);
    st.bindText(first + 2, key.cdTipoServ);
    st.bindText(first + 3, key.nrServCont);
    st.bindText(first + 4, key.nrSequCht);
    st.bindText(first + 5, key.cdFunc);
    return first + 6;
}

void writeMinutes(SqlStatement& st, int col, wire::PacketWriter& out)
{
    if (st.isNull(col))
        out.null();
    else
        out.text(ChtRepository::hoursText(st.integer(col)));
}

} // namespace

const std::vector<FieldDef>& ChtRepository::cdaFields()
{
    static const std::vector<FieldDef> fields = {
        text("IDSITSERVPREST", 1),
        text("NOMEFUNC", 70),
        text("DSREFERENCIA", 50),
        text("NOMECLIENTE", 75),
        date("DTHRENTR1TUR"),
        date("DTHRSAID1TUR"),
        text("NMINTCLIENTE", 50),
        text("QTHRTOTAL_AUX", 4000),
        text("QTHRDESLOCAMENTOFAT_AUX", 4000),
        text("QTHRNFATU_AUX", 4000),
        text("QTHRAPROFATU_AUX", 4000),
        text("QTHRAPRCOMIS_AUX", 4000),
        date("DTSERVPREST"),
        text("NMOPERINC", 64),
        text("IDASSINATURACLIENTE", 1),
        text("IDORIGINALENTREGUE", 1),
    };
    return fields;
}

const std::vector<FieldDef>& ChtRepository::parcelFields()
{
    static const std::vector<FieldDef> fields = {date("DTVENCSERVCLIE"), real("VRVENCSERVCLIE")};
    return fields;
}

std::size_t ChtRepository::writeCdas(SqlConnection& c, const std::vector<std::string>& args,
                                     wire::PacketWriter& out)
{
    // Arguments: CDCLIENTE, CDFUNC, CDTIPOSERV, NRPROPOSFAS, NRVERPROPFAS, NRSEQUCHT, CDEMPRESA,
    // NRSERVCONT.
    auto st = c.prepare(
        "SELECT D.IDSITSERVPREST, F.NMFUNC, D.DSREFERENCIA, CL.NMRAZSOCCLIE, D.DTHRENTR1TUR,"
        " D.DTHRSAID1TUR, D.NMINTCLIENTE, D.QTMINTOTAL, D.QTMINDESLOCFAT, D.QTMINNFATU,"
        " D.QTMINAPROFATU, D.QTMINAPRCOMIS, D.DTSERVPREST, D.NMOPERINC,"
        " D.IDASSINATURACLIENTE, D.IDORIGINALENTREGUE"
        " FROM CDA D"
        " JOIN PROPOSTA P ON P.NRPROPOSFAS = D.NRPROPOSFAS AND P.NRVERPROPFAS = D.NRVERPROPFAS"
        " JOIN CLIENTE CL ON CL.CDCLIENTE = P.CDCLIENTE"
        " JOIN FUNCIONARIO F ON F.CDFUNC = D.CDFUNC"
        " WHERE P.CDCLIENTE = ? AND D.CDFUNC = ? AND D.CDTIPOSERV = ? AND D.NRPROPOSFAS = ?"
        " AND D.NRVERPROPFAS = ? AND D.NRSEQUCHT = ? AND P.CDEMPRESA = ? AND D.NRSERVCONT = ?"
        " ORDER BY D.DTSERVPREST, D.DTHRENTR1TUR, D.NRCDA");
    for (std::size_t i = 0; i < 8; ++i)
        st->bindText(static_cast<int>(i + 1), args.at(i));
    const auto& fields = cdaFields();
    out.begin(fields);
    std::size_t rows = 0;
    while (st->step()) {
        out.beginRow();
        for (int i = 0; i < static_cast<int>(fields.size()); ++i) {
            // The five hour columns are minutes in the database.
            if (i >= 7 && i <= 11)
                writeMinutes(*st, i, out);
            else
                writeColumn(*st, i, fields[static_cast<std::size_t>(i)].type, out);
        }
        out.endRow();
        ++rows;
    }
    out.end();
    return rows;
}

std::size_t ChtRepository::writeParcels(SqlConnection& c, const std::vector<std::string>& args,
                                        wire::PacketWriter& out)
{
    auto st = c.prepare(
        "SELECT V.DTVENCSERVCLIE, V.VRVENCSERVCLIE FROM VENCSERVCLIE V"
        " JOIN PROPOSTA P ON P.NRPROPOSFAS = V.NRPROPOSFAS AND P.NRVERPROPFAS = V.NRVERPROPFAS"
        " WHERE P.CDCLIENTE = ? AND V.NRPROPOSFAS = ? AND V.NRVERPROPFAS = ?"
        " ORDER BY V.DTVENCSERVCLIE, V.NRPARCELA");
    for (std::size_t i = 0; i < 3; ++i)
        st->bindText(static_cast<int>(i + 1), args.at(i));
    out.begin(parcelFields());
    std::size_t rows = 0;
    while (st->step()) {
        out.beginRow();
        writeColumn(*st, 0, FieldType::DateTime, out);
        out.number(st->real(1));
        out.endRow();
        ++rows;
    }
    out.end();
    return rows;
}

std::optional<ChtState> ChtRepository::find(SqlConnection& c, const ChtKey& key)
{
    std::string sql = "SELECT C.IDSTATUSCHT, C.IDCHTPGTOOK, C.IDCHTASSINADA, C.DSALTERACAOCHT,"
                      " CL.CDGERENTEIMPCLI FROM CHT C"
                      " JOIN PROPOSTA P ON P.NRPROPOSFAS = C.NRPROPOSFAS"
                      " AND P.NRVERPROPFAS = C.NRVERPROPFAS"
                      " JOIN CLIENTE CL ON CL.CDCLIENTE = P.CDCLIENTE WHERE";
    sql += kKeyWhereC;
    if (c.dialect() == Dialect::Postgres)
        sql += " FOR UPDATE OF C";
    SqlStatement& st = c.cached(sql);
    bindKey(st, 1, key);
    if (!st.step())
        return std::nullopt;
    ChtState state;
    state.idStatusCht = std::string(st.text(0));
    state.idChtPgtoOk = std::string(st.text(1));
    state.idChtAssinada = std::string(st.text(2));
    state.dsAlteracaoCht = st.isNull(3) ? std::string() : std::string(st.text(3));
    state.manager = std::string(st.text(4));
    st.reset();
    return state;
}

void ChtRepository::setStatus(SqlConnection& c, const ChtKey& key, const std::string& status)
{
    SqlStatement& st = c.cached(std::string("UPDATE CHT SET IDSTATUSCHT = ? WHERE") + kKeyWhere);
    st.bindText(1, status);
    bindKey(st, 2, key);
    st.run();
}

void ChtRepository::remove(SqlConnection& c, const ChtKey& key)
{
    SqlStatement& release =
        c.cached(std::string("UPDATE CDA SET NRSEQUCHT = NULL, IDSITSERVPREST = CASE WHEN"
                             " IDSITSERVPREST = 'R' THEN 'C' ELSE IDSITSERVPREST END WHERE") +
                 kKeyWhere);
    bindKey(release, 1, key);
    release.run();
    SqlStatement& del = c.cached(std::string("DELETE FROM CHT WHERE") + kKeyWhere);
    bindKey(del, 1, key);
    del.run();
}

namespace {

const char* const kKeyColumns =
    "(NRPROPOSFAS, NRVERPROPFAS, CDTIPOSERV, NRSERVCONT, NRSEQUCHT, CDFUNC)";

std::string keyRows(Dialect d)
{
    return ChtRepository::keyRowsSql(d);
}

std::string keyJoin()
{
    return ChtRepository::keyJoinSql();
}

std::string inKeySet(Dialect d)
{
    return std::string(" ") + kKeyColumns + " IN (SELECT k0, k1, k2, k3, k4, k5 FROM " +
           keyRows(d) + ")";
}

int bindKeySet(SqlConnection& c, SqlStatement& st, int index, const std::string& keys)
{
    return ChtRepository::bindKeySet(c, st, index, keys);
}

std::optional<std::size_t> firstPosition(SqlConnection& c, const std::string& sql,
                                         const std::string& keys)
{
    SqlStatement& st = c.cached(sql);
    bindKeySet(c, st, 1, keys);
    std::optional<std::size_t> out;
    if (st.step() && !st.isNull(0))
        out = static_cast<std::size_t>(st.integer(0));
    st.reset();
    return out;
}

} // namespace

// The key set as rows (pos, k0 .. k5), pos counting from 0. PostgreSQL reads it from the one
// JSON text bound at the statement's first "?"; SQLite from the temporary table that
// fillKeySet wrote (its JSON functions cost more than the update itself on 10,000 keys).
std::string ChtRepository::keyRowsSql(Dialect d)
{
    if (d == Dialect::Postgres)
        return "(SELECT ord - 1 AS pos, value->>0 AS k0, value->>1 AS k1, value->>2 AS k2,"
               " value->>3 AS k3, value->>4 AS k4, value->>5 AS k5"
               " FROM json_array_elements(CAST(? AS json)) WITH ORDINALITY AS j(value, ord)) K";
    return "temp.CHT_KEYSET K";
}

std::string ChtRepository::keyJoinSql()
{
    return " C.NRPROPOSFAS = K.k0 AND C.NRVERPROPFAS = K.k1 AND C.CDTIPOSERV = K.k2"
           " AND C.NRSERVCONT = K.k3 AND C.NRSEQUCHT = K.k4 AND C.CDFUNC = K.k5";
}

int ChtRepository::bindKeySet(SqlConnection& c, SqlStatement& st, int index,
                              const std::string& keys)
{
    if (c.dialect() != Dialect::Postgres)
        return index;
    st.bindText(index, keys);
    return index + 1;
}

std::string ChtRepository::keySetJson(const std::vector<ChtKey>& keys)
{
    // A block of rows of the six key texts is exactly that array.
    static const std::vector<wire::FieldDef> fields = [] {
        std::vector<wire::FieldDef> f;
        for (const char* name :
             {"NRPROPOSFAS", "NRVERPROPFAS", "CDTIPOSERV", "NRSERVCONT", "NRSEQUCHT", "CDFUNC"})
            f.push_back({name, wire::FieldType::Text, 0});
        return f;
    }();
    std::string out;
    {
        wire::PacketWriter w(out);
        w.beginRows(fields);
        for (const ChtKey& k : keys) {
            w.beginRow();
            for (const std::string* part : {&k.nrProposFas, &k.nrVerPropFas, &k.cdTipoServ,
                                            &k.nrServCont, &k.nrSequCht, &k.cdFunc})
                w.text(*part);
            w.endRow();
        }
        w.end();
    }
    return out;
}

void ChtRepository::fillKeySet(SqlConnection& c, const std::vector<ChtKey>& keys)
{
    if (c.dialect() == Dialect::Postgres)
        return;
    c.exec("CREATE TEMP TABLE IF NOT EXISTS CHT_KEYSET (pos INTEGER PRIMARY KEY, k0 TEXT,"
           " k1 TEXT, k2 TEXT, k3 TEXT, k4 TEXT, k5 TEXT); DELETE FROM temp.CHT_KEYSET;");
    for (std::size_t i = 0; i < keys.size(); ++i) {
        SqlStatement& st = c.cached("INSERT INTO temp.CHT_KEYSET VALUES (?, ?, ?, ?, ?, ?, ?)");
        st.bindInt(1, static_cast<std::int64_t>(i));
        bindKey(st, 2, keys[i]);
        st.run();
    }
}

void ChtRepository::lockKeySet(SqlConnection& c, const std::string& keys)
{
    // SQLite took the whole database's write lock with the transaction.
    if (c.dialect() != Dialect::Postgres)
        return;
    SqlStatement& st = c.cached("SELECT 1 FROM CHT C JOIN " + keyRows(c.dialect()) + " ON" +
                                keyJoin() + " FOR UPDATE OF C");
    st.bindText(1, keys);
    st.run();
    st.reset();
}

std::optional<std::size_t> ChtRepository::firstMissing(SqlConnection& c, const std::string& keys)
{
    return firstPosition(c,
                         "SELECT MIN(K.pos) FROM " + keyRows(c.dialect()) + " LEFT JOIN CHT C ON" +
                             keyJoin() + " WHERE C.NRPROPOSFAS IS NULL",
                         keys);
}

std::optional<std::size_t> ChtRepository::firstBilled(SqlConnection& c, const std::string& keys)
{
    return firstPosition(c,
                         "SELECT MIN(K.pos) FROM " + keyRows(c.dialect()) + " JOIN CHT C ON" +
                             keyJoin() + " WHERE C.IDSTATUSCHT = 'R'",
                         keys);
}

std::optional<std::size_t> ChtRepository::firstNotManagedBy(SqlConnection& c,
                                                            const std::string& keys,
                                                            const std::string& operador)
{
    const std::string sql = "SELECT MIN(K.pos) FROM " + keyRows(c.dialect()) + " JOIN CHT C ON" +
                            keyJoin() +
                            " JOIN PROPOSTA P ON P.NRPROPOSFAS = C.NRPROPOSFAS"
                            " AND P.NRVERPROPFAS = C.NRVERPROPFAS"
                            " JOIN CLIENTE CL ON CL.CDCLIENTE = P.CDCLIENTE"
                            " WHERE CL.CDGERENTEIMPCLI <> ?";
    SqlStatement& st = c.cached(sql);
    const int next = bindKeySet(c, st, 1, keys);
    st.bindText(next, operador);
    std::optional<std::size_t> out;
    if (st.step() && !st.isNull(0))
        out = static_cast<std::size_t>(st.integer(0));
    st.reset();
    return out;
}

void ChtRepository::setStatusOf(SqlConnection& c, const std::string& keys,
                                const std::string& status)
{
    SqlStatement& st = c.cached("UPDATE CHT SET IDSTATUSCHT = ? WHERE IDSTATUSCHT <> ? AND" +
                                inKeySet(c.dialect()));
    st.bindText(1, status);
    st.bindText(2, status);
    bindKeySet(c, st, 3, keys);
    st.run();
}

void ChtRepository::removeAll(SqlConnection& c, const std::string& keys)
{
    SqlStatement& release =
        c.cached("UPDATE CDA SET NRSEQUCHT = NULL, IDSITSERVPREST = CASE WHEN"
                 " IDSITSERVPREST = 'R' THEN 'C' ELSE IDSITSERVPREST END WHERE" +
                 inKeySet(c.dialect()));
    bindKeySet(c, release, 1, keys);
    release.run();
    SqlStatement& del = c.cached("DELETE FROM CHT WHERE" + inKeySet(c.dialect()));
    bindKeySet(c, del, 1, keys);
    del.run();
}

bool ChtRepository::updateWhere(SqlConnection& c, const ChtKey& key,
                                const std::vector<std::pair<std::string, std::string>>& sets,
                                const std::vector<std::pair<std::string, std::string>>& expected)
{
    if (sets.empty())
        return true;
    std::string sql = "UPDATE CHT SET ";
    for (std::size_t i = 0; i < sets.size(); ++i)
        sql += (i > 0 ? ", " : "") + sets[i].first + " = ?";
    sql += " WHERE";
    sql += kKeyWhere;
    for (const auto& e : expected)
        sql += " AND COALESCE(" + e.first + ", '') = ?";
    SqlStatement& st = c.cached(sql);
    int p = 1;
    for (const auto& s : sets)
        st.bindText(p++, s.second);
    p = bindKey(st, p, key);
    for (const auto& e : expected)
        st.bindText(p++, e.second);
    st.run();
    return st.changes() == 1;
}

std::string ChtRepository::hoursText(std::int64_t minutes)
{
    bool negative = minutes < 0;
    std::int64_t m = negative ? -minutes : minutes;
    std::string h = std::to_string(m / 60);
    if (h.size() < 2)
        h.insert(0, 1, '0');
    std::string mm = std::to_string(m % 60);
    if (mm.size() < 2)
        mm.insert(0, 1, '0');
    return (negative ? "-" : "") + h + ":" + mm;
}

} // namespace cht::server
