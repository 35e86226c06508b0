#include "ChtRepository.h"

#include "SqlDate.h"
#include "StoreError.h"

#include "platform/wire/KeyList.h"

#include <algorithm>
#include <exception>
#include <thread>

namespace cht::server {

using wire::FieldDef;
using wire::FieldType;

namespace {

FieldDef text(const char* name, std::uint32_t size) { return {name, FieldType::Text, size}; }
FieldDef date(const char* name) { return {name, FieldType::DateTime, 0}; }
FieldDef real(const char* name) { return {name, FieldType::Float, 0}; }

const char* const kKeyWhere = " NRPROPOSFAS = ? AND NRVERPROPFAS = ? AND CDTIPOSERV = ?"
                              " AND NRSERVCONT = ? AND NRSEQUCHT = ? AND CDFUNC = ?";

int bindKey(SqlStatement& st, int first, const ChtKey& key) {
    st.bindText(first, key.nrProposFas);
    st.bindText(first + 1, key.nrVerPropFas);
    st.bindText(first + 2, key.cdTipoServ);
    st.bindText(first + 3, key.nrServCont);
    st.bindText(first + 4, key.nrSequCht);
    st.bindText(first + 5, key.cdFunc);
    return first + 6;
}

// Text sort keys: byte order on both databases, whatever the PostgreSQL locale.
std::string sortKey(Dialect d, const char* column) {
    return d == Dialect::Postgres ? std::string(column) + " COLLATE \"C\"" : std::string(column);
}

std::string inKeyList(Dialect d, const char* column) {
    return d == Dialect::Postgres
               ? std::string(" AND ") + column + " IN (SELECT json_array_elements_text(CAST(? AS json)))"
               : std::string(" AND ") + column + " IN (SELECT value FROM json_each(?))";
}

void writeDate(SqlStatement& st, int col, wire::PacketWriter& out) {
    if (st.isNull(col)) {
        out.null();
    } else {
        out.number(sqldate::toOle(st.text(col)));
    }
}

void writeText(SqlStatement& st, int col, wire::PacketWriter& out) {
    if (st.isNull(col)) {
        out.null();
    } else {
        out.text(st.text(col));
    }
}

void writeMinutes(SqlStatement& st, int col, wire::PacketWriter& out) {
    if (st.isNull(col)) {
        out.null();
    } else {
        out.text(ChtRepository::hoursText(st.integer(col)));
    }
}

} // namespace

const std::vector<FieldDef>& ChtRepository::chtFields() {
    static const std::vector<FieldDef> fields = {
        text("IDCHECK", 1),         text("IDSTATUSCHT", 1),     date("DTINCLCHT"),
        text("NMFANTCLIE", 50),     text("NMFUNC", 40),         text("NMTIPOSERV", 80),
        text("NRSEQUCHT", 5),       date("INICIOCSA"),          date("FIMCSA"),
        text("NRPROPOSFAS", 10),    text("NRVERPROPFAS", 2),    text("NRINSJURCLIE", 20),
        text("CDCLIENTE", 21),      text("CDFUNC", 10),         text("CDTIPOSERV", 3),
        text("NRSERVCONT", 3),      text("NRLANCTONF", 10),     text("NRINVOICE", 10),
        text("DSALTERACAOCHT", 2000), text("QTHRAPROFATUCHT", 44), real("VRFATU"),
        text("CDEMPRESA", 2),       text("IDCHTPGTOOK", 1),     text("IDCHTASSINADA", 1),
        text("CDGERENTEIMPCLI", 12), text("IDCDAOK", 1),        text("DSLOCALCONT", 250),
        text("PROPOSTA", 23),       text("DSREFEPROPOSFAS", 100), text("IDTIPOPROPFAS", 1),
        text("IDTIPOCOBRCONT", 1),  text("IDTIPOCOBRSERV", 1),
    };
    return fields;
}

const std::vector<FieldDef>& ChtRepository::cdaFields() {
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

const std::vector<FieldDef>& ChtRepository::parcelFields() {
    static const std::vector<FieldDef> fields = {date("DTVENCSERVCLIE"), real("VRVENCSERVCLIE")};
    return fields;
}

const std::vector<ChtRepository::Column>& ChtRepository::chtListColumns() {
    using C = Column;
    static const std::vector<Column> columns = {
        C::Text, C::Date, C::Text, C::Text, C::Text, C::Text, C::Date, C::Date, C::Text,
        C::Text, C::Text, C::Text, C::Text, C::Text, C::Text, C::Text, C::Text, C::Text,
        C::Text, C::Float, C::Text, C::Text, C::Text, C::Text, C::Text, C::Text, C::Text,
        C::Text, C::Text, C::Text, C::Text,
    };
    return columns;
}

std::string ChtRepository::chtListSql(Dialect d, bool allClients, bool allFuncs) {
    std::string sql =
        "SELECT C.IDSTATUSCHT, C.DTINCLCHT, CL.NMFANTCLIE, F.NMFUNC, T.NMTIPOSERV, C.NRSEQUCHT,"
        " C.DTINICIOCDA, C.DTFIMCDA";
    sql += ", C.NRPROPOSFAS, C.NRVERPROPFAS, CL.NRINSJURCLIE, P.CDCLIENTE, C.CDFUNC,"
           " C.CDTIPOSERV, C.NRSERVCONT, C.NRLANCTONF, C.NRINVOICE, C.DSALTERACAOCHT,"
           " C.QTHRAPROFATUCHT, C.VRFATU, P.CDEMPRESA, C.IDCHTPGTOOK, C.IDCHTASSINADA,"
           " CL.CDGERENTEIMPCLI, C.IDCDAOK, P.DSLOCALCONT,"
           " P.NRPROPOSFAS || '/' || P.NRVERPROPFAS, P.DSREFEPROPOSFAS, P.IDTIPOPROPFAS,"
           " P.IDTIPOCOBRCONT, S.IDTIPOCOBRSERV"
           " FROM CHT C"
           " JOIN PROPOSTA P ON P.NRPROPOSFAS = C.NRPROPOSFAS AND P.NRVERPROPFAS = C.NRVERPROPFAS"
           " JOIN CLIENTE CL ON CL.CDCLIENTE = P.CDCLIENTE"
           " JOIN FUNCIONARIO F ON F.CDFUNC = C.CDFUNC"
           " JOIN SERVCONT S ON S.NRPROPOSFAS = C.NRPROPOSFAS AND S.NRVERPROPFAS = C.NRVERPROPFAS"
           "  AND S.CDTIPOSERV = C.CDTIPOSERV AND S.NRSERVCONT = C.NRSERVCONT"
           " JOIN TIPOSERV T ON T.CDTIPOSERV = C.CDTIPOSERV"
           " WHERE C.DTINCLCHT >= ? AND C.DTINCLCHT < ?";
    // A status letter X is wanted exactly when the set holds "_X_".
    sql += d == Dialect::Postgres ? " AND strpos(?, '_' || C.IDSTATUSCHT || '_') > 0"
                                  : " AND instr(?, '_' || C.IDSTATUSCHT || '_') > 0";
    if (!allClients) {
        sql += inKeyList(d, "P.CDCLIENTE");
    }
    if (!allFuncs) {
        sql += inKeyList(d, "C.CDFUNC");
    }
    sql += " ORDER BY C.DTINCLCHT, " + sortKey(d, "C.NRPROPOSFAS") + ", " +
           sortKey(d, "C.NRVERPROPFAS") + ", " + sortKey(d, "C.CDTIPOSERV") + ", " +
           sortKey(d, "C.NRSERVCONT") + ", " + sortKey(d, "C.NRSEQUCHT") + ", " +
           sortKey(d, "C.CDFUNC");
    return sql;
}

namespace {

// One piece of the list: the rows generated in [from, to), written in list order.
std::size_t writeChtRows(SqlConnection& c, const ChtFilter& filter, const std::string& from,
                         const std::string& to, wire::PacketWriter& out) {
    auto st = c.prepare(ChtRepository::chtListSql(c.dialect(), filter.allClients, filter.allFuncs));
    int p = 1;
    st->bindText(p++, from);
    st->bindText(p++, to);
    st->bindText(p++, filter.situacao);
    if (!filter.allClients) {
        st->bindText(p++, wire::encodeKeyList(filter.clients));
    }
    if (!filter.allFuncs) {
        st->bindText(p++, wire::encodeKeyList(filter.funcs));
    }
    const auto& columns = ChtRepository::chtListColumns();
    const int count = static_cast<int>(columns.size());
    std::size_t rows = 0;
    while (st->step()) {
        out.beginRow();
        out.text("N");
        for (int i = 0; i < count; ++i) {
            switch (columns[static_cast<std::size_t>(i)]) {
            case ChtRepository::Column::Text:
                writeText(*st, i, out);
                break;
            case ChtRepository::Column::Date:
                writeDate(*st, i, out);
                break;
            case ChtRepository::Column::Float:
                if (st->isNull(i)) {
                    out.null();
                } else {
                    out.number(st->real(i));
                }
                break;
            }
        }
        out.endRow();
        ++rows;
    }
    return rows;
}

// Cut points of [from, to) into pieces of about equal CHT counts. A cut is a generation
// date-time that starts a piece, so CHTs of one moment never straddle two pieces.
std::vector<std::string> cutPoints(SqlConnection& c, const std::string& from, const std::string& to,
                                   const ListSplit& split) {
    std::vector<std::string> points{from};
    if (split.workers < 2) {
        points.push_back(to);
        return points;
    }
    auto counter = c.prepare("SELECT COUNT(*) FROM CHT WHERE DTINCLCHT >= ? AND DTINCLCHT < ?");
    counter->bindText(1, from);
    counter->bindText(2, to);
    const auto total = counter->step() ? static_cast<std::size_t>(counter->integer(0)) : 0;
    const std::size_t pieces =
        std::min<std::size_t>(split.workers, total / std::max<std::size_t>(split.minRows, 1));
    auto nth = c.prepare("SELECT DTINCLCHT FROM CHT WHERE DTINCLCHT >= ? AND DTINCLCHT < ?"
                         " ORDER BY DTINCLCHT LIMIT 1 OFFSET ?");
    for (std::size_t k = 1; k < pieces; ++k) {
        nth->reset();
        nth->bindText(1, from);
        nth->bindText(2, to);
        nth->bindInt(3, static_cast<std::int64_t>(k * total / pieces));
        if (nth->step()) {
            std::string point(nth->text(0));
            if (point > points.back()) {
                points.push_back(std::move(point));
            }
        }
    }
    points.push_back(to);
    return points;
}

} // namespace

ListSplit ListSplit::automatic() {
    ListSplit split;
    split.workers = std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
    return split;
}

std::size_t ChtRepository::writeChtList(Store& store, const ChtFilter& filter,
                                        wire::PacketWriter& out, const ListSplit& split) {
    out.begin(chtFields());
    // An empty selection selects nothing (and the empty list is not a JSON array).
    if ((!filter.allClients && filter.clients.empty()) ||
        (!filter.allFuncs && filter.funcs.empty()) || filter.firstDay > filter.lastDay) {
        out.end();
        return 0;
    }
    const std::string from = sqldate::fromDay(filter.firstDay);
    const std::string to = sqldate::fromDay(filter.lastDay + 1);
    std::vector<std::string> points;
    {
        auto lease = store.acquire();
        points = cutPoints(*lease, from, to, split);
        if (points.size() == 2) {
            const std::size_t rows = writeChtRows(*lease, filter, from, to, out);
            out.end();
            return rows;
        }
    }
    // Long lists are read in pieces side by side, on one snapshot, and spliced in order: the
    // first piece straight into the answer, the others into blocks of their own.
    const std::size_t pieces = points.size() - 1;
    Store::Snapshot snapshot = store.acquireSnapshot(pieces);
    std::vector<std::string> blocks(pieces);
    std::vector<std::size_t> rows(pieces, 0);
    std::vector<std::exception_ptr> errors(pieces);
    std::vector<std::thread> threads;
    for (std::size_t i = 1; i < pieces; ++i) {
        threads.emplace_back([&, i] {
            try {
                wire::PacketWriter block(blocks[i]);
                block.beginRows(chtFields());
                rows[i] = writeChtRows(snapshot[i], filter, points[i], points[i + 1], block);
                block.end();
            } catch (...) {
                errors[i] = std::current_exception();
            }
        });
    }
    try {
        rows[0] = writeChtRows(snapshot[0], filter, points[0], points[1], out);
    } catch (...) {
        errors[0] = std::current_exception();
    }
    for (std::thread& t : threads) {
        t.join();
    }
    for (const std::exception_ptr& e : errors) {
        if (e) {
            std::rethrow_exception(e);
        }
    }
    for (std::size_t i = 1; i < pieces; ++i) {
        out.appendRows(blocks[i], rows[i]);
        rows[0] += rows[i];
        std::string().swap(blocks[i]);
    }
    out.end();
    return rows[0];
}

std::size_t ChtRepository::writeCdas(SqlConnection& c, const std::vector<std::string>& args,
                                     wire::PacketWriter& out) {
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
    for (std::size_t i = 0; i < 8; ++i) {
        st->bindText(static_cast<int>(i + 1), args.at(i));
    }
    out.begin(cdaFields());
    std::size_t rows = 0;
    while (st->step()) {
        out.beginRow();
        writeText(*st, 0, out);
        writeText(*st, 1, out);
        writeText(*st, 2, out);
        writeText(*st, 3, out);
        writeDate(*st, 4, out);
        writeDate(*st, 5, out);
        writeText(*st, 6, out);
        for (int i = 7; i <= 11; ++i) {
            writeMinutes(*st, i, out);
        }
        writeDate(*st, 12, out);
        writeText(*st, 13, out);
        writeText(*st, 14, out);
        writeText(*st, 15, out);
        out.endRow();
        ++rows;
    }
    out.end();
    return rows;
}

std::size_t ChtRepository::writeParcels(SqlConnection& c, const std::vector<std::string>& args,
                                        wire::PacketWriter& out) {
    auto st = c.prepare(
        "SELECT V.DTVENCSERVCLIE, V.VRVENCSERVCLIE FROM VENCSERVCLIE V"
        " JOIN PROPOSTA P ON P.NRPROPOSFAS = V.NRPROPOSFAS AND P.NRVERPROPFAS = V.NRVERPROPFAS"
        " WHERE P.CDCLIENTE = ? AND V.NRPROPOSFAS = ? AND V.NRVERPROPFAS = ?"
        " ORDER BY V.DTVENCSERVCLIE, V.NRPARCELA");
    for (std::size_t i = 0; i < 3; ++i) {
        st->bindText(static_cast<int>(i + 1), args.at(i));
    }
    out.begin(parcelFields());
    std::size_t rows = 0;
    while (st->step()) {
        out.beginRow();
        writeDate(*st, 0, out);
        out.number(st->real(1));
        out.endRow();
        ++rows;
    }
    out.end();
    return rows;
}

std::optional<ChtState> ChtRepository::find(SqlConnection& c, const ChtKey& key) {
    std::string sql = "SELECT IDSTATUSCHT, IDCHTPGTOOK, IDCHTASSINADA, DSALTERACAOCHT FROM CHT WHERE";
    sql += kKeyWhere;
    if (c.dialect() == Dialect::Postgres) {
        sql += " FOR UPDATE";
    }
    auto st = c.prepare(sql);
    bindKey(*st, 1, key);
    if (!st->step()) {
        return std::nullopt;
    }
    ChtState state;
    state.idStatusCht = std::string(st->text(0));
    state.idChtPgtoOk = std::string(st->text(1));
    state.idChtAssinada = std::string(st->text(2));
    state.dsAlteracaoCht = st->isNull(3) ? std::string() : std::string(st->text(3));
    return state;
}

void ChtRepository::setStatus(SqlConnection& c, const ChtKey& key, const std::string& status) {
    auto st = c.prepare(std::string("UPDATE CHT SET IDSTATUSCHT = ? WHERE") + kKeyWhere);
    st->bindText(1, status);
    bindKey(*st, 2, key);
    st->run();
}

void ChtRepository::remove(SqlConnection& c, const ChtKey& key) {
    auto release = c.prepare(
        std::string("UPDATE CDA SET NRSEQUCHT = NULL, IDSITSERVPREST = CASE WHEN"
                    " IDSITSERVPREST = 'R' THEN 'C' ELSE IDSITSERVPREST END WHERE") +
        kKeyWhere);
    bindKey(*release, 1, key);
    release->run();
    auto del = c.prepare(std::string("DELETE FROM CHT WHERE") + kKeyWhere);
    bindKey(*del, 1, key);
    del->run();
}

bool ChtRepository::updateWhere(SqlConnection& c, const ChtKey& key,
                                const std::vector<std::pair<std::string, std::string>>& sets,
                                const std::vector<std::pair<std::string, std::string>>& expected) {
    if (sets.empty()) {
        return true;
    }
    std::string sql = "UPDATE CHT SET ";
    for (std::size_t i = 0; i < sets.size(); ++i) {
        sql += (i > 0 ? ", " : "") + sets[i].first + " = ?";
    }
    sql += " WHERE";
    sql += kKeyWhere;
    for (const auto& e : expected) {
        sql += " AND COALESCE(" + e.first + ", '') = ?";
    }
    auto st = c.prepare(sql);
    int p = 1;
    for (const auto& s : sets) {
        st->bindText(p++, s.second);
    }
    p = bindKey(*st, p, key);
    for (const auto& e : expected) {
        st->bindText(p++, e.second);
    }
    st->run();
    return st->changes() == 1;
}

std::string ChtRepository::hoursText(std::int64_t minutes) {
    bool negative = minutes < 0;
    std::int64_t m = negative ? -minutes : minutes;
    std::string h = std::to_string(m / 60);
    if (h.size() < 2) {
        h.insert(0, 1, '0');
    }
    std::string mm = std::to_string(m % 60);
    if (mm.size() < 2) {
        mm.insert(0, 1, '0');
    }
    return (negative ? "-" : "") + h + ":" + mm;
}

} // namespace cht::server
