#include "ChtRepository.h"

#include "PacketColumn.h"
#include "RowSet.h"

#include <algorithm>
#include <array>
#include <map>
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

namespace {

// A cached statement is reset on every way out: one left stepping keeps its snapshot open while
// its connection waits in the pool.
class ResetOnExit {
public:
    explicit ResetOnExit(SqlStatement& st) : m_st(st) {}
    ~ResetOnExit() { m_st.reset(); }
    ResetOnExit(const ResetOnExit&) = delete;
    ResetOnExit& operator=(const ResetOnExit&) = delete;

private:
    SqlStatement& m_st;
};

} // namespace

std::size_t ChtRepository::writeCdas(SqlConnection& c, const std::vector<std::string>& args,
                                     wire::PacketWriter& out)
{
    // Arguments: CDCLIENTE, CDFUNC, CDTIPOSERV, NRPROPOSFAS, NRVERPROPFAS, NRSEQUCHT, CDEMPRESA,
    // NRSERVCONT. Prepared once per connection: an operator holding the arrow down on the CDA
    // tab asks this for every row, and planning the four-table join cost as much as running it.
    static const std::string sql =
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
        " ORDER BY D.DTSERVPREST, D.DTHRENTR1TUR, D.NRCDA";
    SqlStatement& st = c.cached(sql);
    const ResetOnExit reset(st);
    for (std::size_t i = 0; i < 8; ++i)
        st.bindText(static_cast<int>(i + 1), args.at(i));
    const auto& fields = cdaFields();
    out.begin(fields);
    std::size_t rows = 0;
    while (st.step()) {
        out.beginRow();
        for (int i = 0; i < static_cast<int>(fields.size()); ++i) {
            // The five hour columns are minutes in the database.
            if (i >= 7 && i <= 11)
                writeMinutes(st, i, out);
            else
                writeColumn(st, i, fields[static_cast<std::size_t>(i)].type, out);
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
    static const std::string sql =
        "SELECT V.DTVENCSERVCLIE, V.VRVENCSERVCLIE FROM VENCSERVCLIE V"
        " JOIN PROPOSTA P ON P.NRPROPOSFAS = V.NRPROPOSFAS AND P.NRVERPROPFAS = V.NRVERPROPFAS"
        " WHERE P.CDCLIENTE = ? AND V.NRPROPOSFAS = ? AND V.NRVERPROPFAS = ?"
        " ORDER BY V.DTVENCSERVCLIE, V.NRPARCELA";
    SqlStatement& st = c.cached(sql);
    const ResetOnExit reset(st);
    for (std::size_t i = 0; i < 3; ++i)
        st.bindText(static_cast<int>(i + 1), args.at(i));
    out.begin(parcelFields());
    std::size_t rows = 0;
    while (st.step()) {
        out.beginRow();
        writeColumn(st, 0, FieldType::DateTime, out);
        out.number(st.real(1));
        out.endRow();
        ++rows;
    }
    out.end();
    return rows;
}

namespace {

// A CHT's state in the statement's columns from `first` on: IDSTATUSCHT, IDCHTPGTOOK,
// IDCHTASSINADA and DSALTERACAOCHT; `manager` is its client's CDGERENTEIMPCLI.
ChtState stateOf(SqlStatement& st, int first, std::string manager)
{
    ChtState state;
    state.idStatusCht = std::string(st.text(first));
    state.idChtPgtoOk = std::string(st.text(first + 1));
    state.idChtAssinada = std::string(st.text(first + 2));
    state.dsAlteracaoCht = st.isNull(first + 3) ? std::string() : std::string(st.text(first + 3));
    state.manager = std::move(manager);
    return state;
}

} // namespace

std::optional<ChtState> ChtRepository::find(SqlConnection& c, const ChtKey& key)
{
    // SQLite reads a CHT as a batch of one reads its CHTs: one way to read them.
    if (c.dialect() != Dialect::Postgres)
        return findAll(c, {key}).front();
    static const std::string sql =
        "SELECT C.IDSTATUSCHT, C.IDCHTPGTOOK, C.IDCHTASSINADA, C.DSALTERACAOCHT,"
        " CL.CDGERENTEIMPCLI FROM CHT C"
        " JOIN PROPOSTA P ON P.NRPROPOSFAS = C.NRPROPOSFAS AND P.NRVERPROPFAS = C.NRVERPROPFAS"
        " JOIN CLIENTE CL ON CL.CDCLIENTE = P.CDCLIENTE WHERE" +
        std::string(kKeyWhereC) + " FOR UPDATE OF C";
    SqlStatement& st = c.cached(sql);
    const ResetOnExit reset(st);
    bindKey(st, 1, key);
    if (!st.step())
        return std::nullopt;
    return stateOf(st, 0, std::string(st.text(4)));
}

void ChtRepository::setStatus(SqlConnection& c, const ChtKey& key, const std::string& status)
{
    SqlStatement& st = c.cached(std::string("UPDATE CHT SET IDSTATUSCHT = ? WHERE") + kKeyWhere);
    st.bindText(1, status);
    bindKey(st, 2, key);
    st.run();
}

namespace {

// The keys as the rows of a RowSet, in their order.
RowSet keyRows(const std::vector<ChtKey>& keys)
{
    RowSet rows("CHT_CHAVES", 6);
    for (const ChtKey& k : keys)
        rows.add({&k.nrProposFas, &k.nrVerPropFas, &k.cdTipoServ, &k.nrServCont, &k.nrSequCht,
                  &k.cdFunc});
    return rows;
}

// A CHT "C" joined to rows whose first six columns are its key.
const char* const kKeyJoin =
    " C.NRPROPOSFAS = R.c0 AND C.NRVERPROPFAS = R.c1 AND C.CDTIPOSERV = R.c2"
    " AND C.NRSERVCONT = R.c3 AND C.NRSEQUCHT = R.c4 AND C.CDFUNC = R.c5";

const char* const kKeyColumns =
    " (NRPROPOSFAS, NRVERPROPFAS, CDTIPOSERV, NRSERVCONT, NRSEQUCHT, CDFUNC)";

} // namespace

std::vector<std::optional<ChtState>> ChtRepository::findAll(SqlConnection& c,
                                                            const std::vector<ChtKey>& keys)
{
    std::vector<std::optional<ChtState>> out(keys.size());
    if (c.dialect() != Dialect::Postgres) {
        // One search of the key a CHT: a table of the keys joined to CHT would write and read
        // each of them once more. SQLite's transaction holds the write lock already. A call's
        // CHTs share a few proposals: each proposal's manager is read once, not once a CHT.
        static const std::string sql =
            "SELECT IDSTATUSCHT, IDCHTPGTOOK, IDCHTASSINADA, DSALTERACAOCHT, rowid FROM CHT WHERE" +
            std::string(kKeyWhere);
        static const std::string managerSql =
            "SELECT CL.CDGERENTEIMPCLI FROM PROPOSTA P JOIN CLIENTE CL ON CL.CDCLIENTE ="
            " P.CDCLIENTE WHERE P.NRPROPOSFAS = ? AND P.NRVERPROPFAS = ?";
        std::map<std::pair<std::string, std::string>, std::optional<std::string>> managers;
        for (std::size_t i = 0; i < keys.size(); ++i) {
            const ChtKey& key = keys[i];
            auto [proposal, fresh] =
                managers.try_emplace({key.nrProposFas, key.nrVerPropFas}, std::nullopt);
            if (fresh) {
                SqlStatement& m = c.cached(managerSql);
                const ResetOnExit reset(m);
                m.bindText(1, key.nrProposFas);
                m.bindText(2, key.nrVerPropFas);
                if (m.step())
                    proposal->second = std::string(m.text(0));
            }
            if (!proposal->second)
                continue; // as the join finds no CHT without its proposal and client
            SqlStatement& st = c.cached(sql);
            const ResetOnExit reset(st);
            bindKey(st, 1, key);
            if (!st.step())
                continue;
            ChtState state = stateOf(st, 0, *proposal->second);
            state.row = st.integer(4);
            out[i] = std::move(state);
        }
        return out;
    }
    // PostgreSQL takes the keys in one statement, and locks in key order: two calls over
    // crossing sets wait for each other instead of deadlocking.
    const RowSet rows = keyRows(keys);
    SqlStatement& st = c.cached(
        "SELECT R.pos, C.IDSTATUSCHT, C.IDCHTPGTOOK, C.IDCHTASSINADA, C.DSALTERACAOCHT,"
        " CL.CDGERENTEIMPCLI FROM " +
        rows.from(c.dialect()) + " JOIN CHT C ON" + kKeyJoin +
        " JOIN PROPOSTA P ON P.NRPROPOSFAS = C.NRPROPOSFAS AND P.NRVERPROPFAS = C.NRVERPROPFAS"
        " JOIN CLIENTE CL ON CL.CDCLIENTE = P.CDCLIENTE ORDER BY C.NRPROPOSFAS, C.NRVERPROPFAS,"
        " C.CDTIPOSERV, C.NRSERVCONT, C.NRSEQUCHT, C.CDFUNC FOR UPDATE OF C");
    const ResetOnExit reset(st);
    rows.bind(c, st, 1);
    while (st.step()) {
        const auto pos = static_cast<std::size_t>(st.integer(0));
        if (pos < out.size())
            out[pos] = stateOf(st, 1, std::string(st.text(5)));
    }
    return out;
}

void ChtRepository::updateAll(SqlConnection& c, const std::vector<ChtChange>& changes)
{
    if (changes.empty())
        return;
    if (c.dialect() != Dialect::Postgres) {
        // The rows that get the same values (all of them, for an approval or a marking), by the
        // rowids findAll read, a list of them a statement: SQLite pays for each statement run,
        // and a join of the new values costs it more than the update itself.
        constexpr std::size_t kRowsAStatement = 256;
        static const std::string sql = [] {
            std::string text = "UPDATE CHT SET IDSTATUSCHT = COALESCE(?, IDSTATUSCHT),"
                               " DSALTERACAOCHT = COALESCE(?, DSALTERACAOCHT),"
                               " IDCHTPGTOOK = COALESCE(?, IDCHTPGTOOK),"
                               " IDCHTASSINADA = COALESCE(?, IDCHTASSINADA) WHERE rowid IN (?";
            for (std::size_t i = 1; i < kRowsAStatement; ++i)
                text += ", ?";
            return text + ")";
        }();
        using Values = std::array<std::optional<std::string>, 4>;
        std::map<Values, std::vector<std::int64_t>> groups;
        for (const ChtChange& ch : changes)
            groups[{ch.idStatusCht, ch.dsAlteracaoCht, ch.idChtPgtoOk, ch.idChtAssinada}].push_back(
                ch.row);
        for (const auto& [values, rows] : groups) {
            for (std::size_t at = 0; at < rows.size(); at += kRowsAStatement) {
                SqlStatement& st = c.cached(sql);
                int p = 1;
                for (const auto& v : values)
                    if (v)
                        st.bindText(p++, *v);
                    else
                        st.bindNull(p++);
                // A short last list repeats its last row.
                for (std::size_t i = 0; i < kRowsAStatement; ++i)
                    st.bindInt(p++, rows[std::min(at + i, rows.size() - 1)]);
                st.run();
            }
        }
        return;
    }
    RowSet rows("CHT_ALTERACOES", 10);
    auto value = [](const std::optional<std::string>& v) { return v ? &*v : nullptr; };
    for (const ChtChange& ch : changes) {
        const ChtKey& k = ch.key;
        rows.add({&k.nrProposFas, &k.nrVerPropFas, &k.cdTipoServ, &k.nrServCont, &k.nrSequCht,
                  &k.cdFunc, value(ch.idStatusCht), value(ch.dsAlteracaoCht), value(ch.idChtPgtoOk),
                  value(ch.idChtAssinada)});
    }
    SqlStatement& st = c.cached("UPDATE CHT C SET IDSTATUSCHT = COALESCE(R.c6, C.IDSTATUSCHT),"
                                " DSALTERACAOCHT = COALESCE(R.c7, C.DSALTERACAOCHT),"
                                " IDCHTPGTOOK = COALESCE(R.c8, C.IDCHTPGTOOK),"
                                " IDCHTASSINADA = COALESCE(R.c9, C.IDCHTASSINADA) FROM " +
                                rows.from(c.dialect()) + " WHERE" + kKeyJoin);
    rows.bind(c, st, 1);
    st.run();
}

void ChtRepository::removeAll(SqlConnection& c, const std::vector<ChtKey>& keys)
{
    const RowSet rows = keyRows(keys);
    rows.write(c);
    const std::string inKeys = std::string(kKeyColumns) + " IN (SELECT R.c0, R.c1, R.c2, R.c3," +
                               " R.c4, R.c5 FROM " + rows.from(c.dialect()) + ")";
    SqlStatement& release =
        c.cached("UPDATE CDA SET NRSEQUCHT = NULL, IDSITSERVPREST = CASE WHEN"
                 " IDSITSERVPREST = 'R' THEN 'C' ELSE IDSITSERVPREST END WHERE" +
                 inKeys);
    rows.bind(c, release, 1);
    release.run();
    SqlStatement& del = c.cached("DELETE FROM CHT WHERE" + inKeys);
    rows.bind(c, del, 1);
    del.run();
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
