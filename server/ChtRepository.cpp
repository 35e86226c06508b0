#include "ChtRepository.h"

#include "SqlDate.h"
#include "StoreError.h"

#include "platform/wire/KeyList.h"

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
    const char* cdaOfCht = " FROM CDA D WHERE D.NRPROPOSFAS = C.NRPROPOSFAS"
                           " AND D.NRVERPROPFAS = C.NRVERPROPFAS AND D.CDTIPOSERV = C.CDTIPOSERV"
                           " AND D.NRSERVCONT = C.NRSERVCONT AND D.NRSEQUCHT = C.NRSEQUCHT"
                           " AND D.CDFUNC = C.CDFUNC)";
    std::string sql =
        "SELECT C.IDSTATUSCHT, C.DTINCLCHT, CL.NMFANTCLIE, F.NMFUNC, T.NMTIPOSERV, C.NRSEQUCHT,"
        " (SELECT MIN(D.DTSERVPREST)";
    sql += cdaOfCht;
    sql += ", (SELECT MAX(D.DTSERVPREST)";
    sql += cdaOfCht;
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

std::size_t ChtRepository::writeChtList(SqlConnection& c, const ChtFilter& filter,
                                        wire::PacketWriter& out) {
    // An empty selection selects nothing (and the empty list is not a JSON array).
    if ((!filter.allClients && filter.clients.empty()) ||
        (!filter.allFuncs && filter.funcs.empty()) || filter.firstDay > filter.lastDay) {
        out.begin(chtFields());
        out.end();
        return 0;
    }
    auto st = c.prepare(chtListSql(c.dialect(), filter.allClients, filter.allFuncs));
    int p = 1;
    st->bindText(p++, sqldate::fromDay(filter.firstDay));
    st->bindText(p++, sqldate::fromDay(filter.lastDay + 1));
    st->bindText(p++, filter.situacao);
    if (!filter.allClients) {
        st->bindText(p++, wire::encodeKeyList(filter.clients));
    }
    if (!filter.allFuncs) {
        st->bindText(p++, wire::encodeKeyList(filter.funcs));
    }
    const auto& columns = chtListColumns();
    const int count = static_cast<int>(columns.size());
    out.begin(chtFields());
    std::size_t rows = 0;
    while (st->step()) {
        out.beginRow();
        out.text("N");
        for (int i = 0; i < count; ++i) {
            switch (columns[static_cast<std::size_t>(i)]) {
            case Column::Text:
                writeText(*st, i, out);
                break;
            case Column::Date:
                writeDate(*st, i, out);
                break;
            case Column::Float:
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
    out.end();
    return rows;
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
