#include "ChtRepository.h"

#include "SqlDate.h"
#include "StoreError.h"

#include "platform/wire/KeyList.h"

#include <algorithm>
#include <exception>
#include <initializer_list>
#include <optional>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <unordered_set>

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

// Text sort keys: byte order on both databases, whatever the PostgreSQL locale.
std::string sortKey(Dialect d, const char* column)
{
    return d == Dialect::Postgres ? std::string(column) + " COLLATE \"C\"" : std::string(column);
}

std::string inKeyList(Dialect d, const char* column)
{
    return d == Dialect::Postgres
               ? std::string(" AND ") + column +
                     " IN (SELECT json_array_elements_text(CAST(? AS json)))"
               : std::string(" AND ") + column + " IN (SELECT value FROM json_each(?))";
}

// A status letter X is wanted exactly when the set holds "_X_".
std::string statusTest(Dialect d)
{
    return d == Dialect::Postgres ? " AND strpos(?, '_' || C.IDSTATUSCHT || '_') > 0"
                                  : " AND instr(?, '_' || C.IDSTATUSCHT || '_') > 0";
}

// The list's order: generation date-time, then the key.
std::string listOrder(Dialect d)
{
    return " ORDER BY C.DTINCLCHT, " + sortKey(d, "C.NRPROPOSFAS") + ", " +
           sortKey(d, "C.NRVERPROPFAS") + ", " + sortKey(d, "C.CDTIPOSERV") + ", " +
           sortKey(d, "C.NRSERVCONT") + ", " + sortKey(d, "C.NRSEQUCHT") + ", " +
           sortKey(d, "C.CDFUNC");
}

void writeDate(SqlStatement& st, int col, wire::PacketWriter& out)
{
    if (st.isNull(col))
        out.null();
    else
        out.number(sqldate::toOle(st.text(col)));
}

void writeText(SqlStatement& st, int col, wire::PacketWriter& out)
{
    if (st.isNull(col))
        out.null();
    else
        out.text(st.text(col));
}

void writeMinutes(SqlStatement& st, int col, wire::PacketWriter& out)
{
    if (st.isNull(col))
        out.null();
    else
        out.text(ChtRepository::hoursText(st.integer(col)));
}

} // namespace

const std::vector<FieldDef>& ChtRepository::chtFields()
{
    static const std::vector<FieldDef> fields = {
        text("IDCHECK", 1),
        text("IDSTATUSCHT", 1),
        date("DTINCLCHT"),
        text("NMFANTCLIE", 50),
        text("NMFUNC", 40),
        text("NMTIPOSERV", 80),
        text("NRSEQUCHT", 5),
        date("INICIOCSA"),
        date("FIMCSA"),
        text("NRPROPOSFAS", 10),
        text("NRVERPROPFAS", 2),
        text("NRINSJURCLIE", 20),
        text("CDCLIENTE", 21),
        text("CDFUNC", 10),
        text("CDTIPOSERV", 3),
        text("NRSERVCONT", 3),
        text("NRLANCTONF", 10),
        text("NRINVOICE", 10),
        text("DSALTERACAOCHT", 2000),
        text("QTHRAPROFATUCHT", 44),
        real("VRFATU"),
        text("CDEMPRESA", 2),
        text("IDCHTPGTOOK", 1),
        text("IDCHTASSINADA", 1),
        text("CDGERENTEIMPCLI", 12),
        text("IDCDAOK", 1),
        text("DSLOCALCONT", 250),
        text("PROPOSTA", 23),
        text("DSREFEPROPOSFAS", 100),
        text("IDTIPOPROPFAS", 1),
        text("IDTIPOCOBRCONT", 1),
        text("IDTIPOCOBRSERV", 1),
    };
    return fields;
}

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

const std::vector<ChtRepository::Column>& ChtRepository::chtListColumns()
{
    using C = Column;
    static const std::vector<Column> columns = {
        C::Text, C::Date, C::Text, C::Text,  C::Text, C::Text, C::Date, C::Date,
        C::Text, C::Text, C::Text, C::Text,  C::Text, C::Text, C::Text, C::Text,
        C::Text, C::Text, C::Text, C::Float, C::Text, C::Text, C::Text, C::Text,
        C::Text, C::Text, C::Text, C::Text,  C::Text, C::Text, C::Text,
    };
    return columns;
}

std::string ChtRepository::chtListSql(Dialect d, bool allClients, bool allFuncs)
{
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
    sql += statusTest(d);
    if (!allClients)
        sql += inKeyList(d, "P.CDCLIENTE");
    if (!allFuncs)
        sql += inKeyList(d, "C.CDFUNC");
    sql += listOrder(d);
    return sql;
}

namespace {

// The parameters both list queries take, in their order: the generation range, the status set,
// then the client and the employee lists where they apply.
void bindListFilter(SqlStatement& st, const ChtFilter& filter, const std::string& from,
                    const std::string& to)
{
    int p = 1;
    st.bindText(p++, from);
    st.bindText(p++, to);
    st.bindText(p++, filter.situacao);
    if (!filter.allClients)
        st.bindText(p++, wire::encodeKeyList(filter.clients));
    if (!filter.allFuncs)
        st.bindText(p++, wire::encodeKeyList(filter.funcs));
}

// One piece of the list: the rows generated in [from, to), written in list order.
std::size_t writeChtRows(SqlConnection& c, const ChtFilter& filter, const std::string& from,
                         const std::string& to, wire::PacketWriter& out)
{
    auto st = c.prepare(ChtRepository::chtListSql(c.dialect(), filter.allClients, filter.allFuncs));
    bindListFilter(*st, filter, from, to);
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
                if (st->isNull(i))
                    out.null();
                else
                    out.number(st->real(i));
                break;
            }
        }
        out.endRow();
        ++rows;
    }
    return rows;
}

// How a list of `total` CHTs is read: whole by the list query, or in pieces joined in memory.
struct ListPlan {
    std::size_t total = 0;
    bool inMemory = false;
    std::vector<std::string> points; // piece i is [points[i], points[i + 1])
};

// A long list is read in pieces of about equal CHT counts. A cut is a generation date-time that
// starts a piece, so CHTs of one moment never straddle two pieces.
ListPlan planList(SqlConnection& c, const std::string& from, const std::string& to,
                  const ListSplit& split)
{
    ListPlan plan;
    plan.points = {from};
    auto counter = c.prepare("SELECT COUNT(*) FROM CHT WHERE DTINCLCHT >= ? AND DTINCLCHT < ?");
    counter->bindText(1, from);
    counter->bindText(2, to);
    plan.total = counter->step() ? static_cast<std::size_t>(counter->integer(0)) : 0;
    const std::size_t minRows = std::max<std::size_t>(split.minRows, 1);
    plan.inMemory = plan.total >= minRows;
    const std::size_t pieces =
        std::clamp<std::size_t>(plan.total / minRows, 1, std::max(split.workers, 1u));
    auto nth = c.prepare("SELECT DTINCLCHT FROM CHT WHERE DTINCLCHT >= ? AND DTINCLCHT < ?"
                         " ORDER BY DTINCLCHT LIMIT 1 OFFSET ?");
    for (std::size_t k = 1; k < pieces; ++k) {
        nth->reset();
        nth->bindText(1, from);
        nth->bindText(2, to);
        nth->bindInt(3, static_cast<std::int64_t>(k * plan.total / pieces));
        if (nth->step()) {
            std::string point(nth->text(0));
            if (point > plan.points.back())
                plan.points.push_back(std::move(point));
        }
    }
    plan.points.push_back(to);
    return plan;
}

// The small tables every CHT of a list is joined with, read once for a long list, so that each
// row costs hash lookups instead of five index searches. Keys join their parts with '\x1f'.
struct JoinedTables {
    struct Proposal {
        std::string cdCliente, cdEmpresa, proposta, idTipoPropFas, idTipoCobrCont;
        std::optional<std::string> dsLocalCont, dsRefeProposFas;
    };
    struct Client {
        std::string nmFantClie, nrInsJurClie, cdGerenteImpCli;
    };
    std::unordered_map<std::string, Proposal> proposals;
    std::unordered_map<std::string, Client> clients;
    std::unordered_map<std::string, std::string> employees;    // NMFUNC
    std::unordered_map<std::string, std::string> services;     // IDTIPOCOBRSERV
    std::unordered_map<std::string, std::string> serviceTypes; // NMTIPOSERV
};

std::string& keyOf(std::string& key, std::initializer_list<std::string_view> parts)
{
    key.clear();
    bool first = true;
    for (std::string_view part : parts) {
        if (!first)
            key += '\x1f';
        first = false;
        key += part;
    }
    return key;
}

std::optional<std::string> optionalText(SqlStatement& st, int col)
{
    if (st.isNull(col))
        return std::nullopt;
    return std::string(st.text(col));
}

JoinedTables readJoinedTables(SqlConnection& c)
{
    JoinedTables t;
    std::string key;
    auto st = c.prepare("SELECT NRPROPOSFAS, NRVERPROPFAS, CDCLIENTE, CDEMPRESA, DSLOCALCONT,"
                        " DSREFEPROPOSFAS, IDTIPOPROPFAS, IDTIPOCOBRCONT FROM PROPOSTA");
    while (st->step()) {
        JoinedTables::Proposal p;
        p.cdCliente = st->text(2);
        p.cdEmpresa = st->text(3);
        p.proposta = std::string(st->text(0)) + "/" + std::string(st->text(1));
        p.dsLocalCont = optionalText(*st, 4);
        p.dsRefeProposFas = optionalText(*st, 5);
        p.idTipoPropFas = st->text(6);
        p.idTipoCobrCont = st->text(7);
        t.proposals.emplace(keyOf(key, {st->text(0), st->text(1)}), std::move(p));
    }
    st = c.prepare("SELECT CDCLIENTE, NMFANTCLIE, NRINSJURCLIE, CDGERENTEIMPCLI FROM CLIENTE");
    while (st->step()) {
        t.clients.emplace(std::string(st->text(0)),
                          JoinedTables::Client{std::string(st->text(1)), std::string(st->text(2)),
                                               std::string(st->text(3))});
    }
    st = c.prepare("SELECT CDFUNC, NMFUNC FROM FUNCIONARIO");
    while (st->step())
        t.employees.emplace(std::string(st->text(0)), std::string(st->text(1)));
    st = c.prepare("SELECT NRPROPOSFAS, NRVERPROPFAS, CDTIPOSERV, NRSERVCONT, IDTIPOCOBRSERV"
                   " FROM SERVCONT");
    while (st->step()) {
        t.services.emplace(keyOf(key, {st->text(0), st->text(1), st->text(2), st->text(3)}),
                           std::string(st->text(4)));
    }
    st = c.prepare("SELECT CDTIPOSERV, NMTIPOSERV FROM TIPOSERV");
    while (st->step())
        t.serviceTypes.emplace(std::string(st->text(0)), std::string(st->text(1)));
    return t;
}

template <class Map> const typename Map::mapped_type* lookUp(const Map& map, const std::string& key)
{
    auto it = map.find(key);
    return it == map.end() ? nullptr : &it->second;
}

void writeOptional(const std::optional<std::string>& v, wire::PacketWriter& out)
{
    if (v)
        out.text(*v);
    else
        out.null();
}

// One piece of a long list: the CHTs alone from the database, joined here with the tables read
// beforehand; the same rows, in the same order, as the list query gives. A CHT that misses a
// joined row is left out, as the query's inner joins leave it.
std::size_t writeJoinedChtRows(SqlConnection& c, const ChtFilter& filter,
                               const JoinedTables& tables, const std::string& from,
                               const std::string& to, wire::PacketWriter& out)
{
    std::string sql = "SELECT C.IDSTATUSCHT, C.DTINCLCHT, C.NRSEQUCHT, C.DTINICIOCDA, C.DTFIMCDA,"
                      " C.NRPROPOSFAS, C.NRVERPROPFAS, C.CDFUNC, C.CDTIPOSERV, C.NRSERVCONT,"
                      " C.NRLANCTONF, C.NRINVOICE, C.DSALTERACAOCHT, C.QTHRAPROFATUCHT, C.VRFATU,"
                      " C.IDCHTPGTOOK, C.IDCHTASSINADA, C.IDCDAOK FROM CHT C"
                      " WHERE C.DTINCLCHT >= ? AND C.DTINCLCHT < ?";
    sql += statusTest(c.dialect());
    // The clients' proposals are picked by the database, so that a CHT of another client is
    // skipped before its columns are read.
    if (!filter.allClients) {
        sql += " AND (C.NRPROPOSFAS, C.NRVERPROPFAS) IN (SELECT P.NRPROPOSFAS, P.NRVERPROPFAS"
               " FROM PROPOSTA P WHERE 1 = 1" +
               inKeyList(c.dialect(), "P.CDCLIENTE") + ")";
    }
    if (!filter.allFuncs)
        sql += inKeyList(c.dialect(), "C.CDFUNC");
    sql += listOrder(c.dialect());
    auto st = c.prepare(sql);
    bindListFilter(*st, filter, from, to);
    const std::unordered_set<std::string_view> clients(filter.clients.begin(),
                                                       filter.clients.end());
    std::string key;
    std::size_t rows = 0;
    while (st->step()) {
        const auto* p = lookUp(tables.proposals, keyOf(key, {st->text(5), st->text(6)}));
        if (p == nullptr || (!filter.allClients && clients.count(p->cdCliente) == 0))
            continue;
        const auto* cl = lookUp(tables.clients, p->cdCliente);
        const auto* func = lookUp(tables.employees, keyOf(key, {st->text(7)}));
        const auto* type = lookUp(tables.serviceTypes, keyOf(key, {st->text(8)}));
        const auto* service = lookUp(
            tables.services, keyOf(key, {st->text(5), st->text(6), st->text(8), st->text(9)}));
        if (cl == nullptr || func == nullptr || type == nullptr || service == nullptr)
            continue;
        out.beginRow();
        out.text("N");
        writeText(*st, 0, out); // IDSTATUSCHT
        writeDate(*st, 1, out); // DTINCLCHT
        out.text(cl->nmFantClie);
        out.text(*func);
        out.text(*type);
        writeText(*st, 2, out); // NRSEQUCHT
        writeDate(*st, 3, out); // INICIOCSA
        writeDate(*st, 4, out); // FIMCSA
        writeText(*st, 5, out); // NRPROPOSFAS
        writeText(*st, 6, out); // NRVERPROPFAS
        out.text(cl->nrInsJurClie);
        out.text(p->cdCliente);
        for (int col = 7; col <= 13; ++col) // CDFUNC .. QTHRAPROFATUCHT
            writeText(*st, col, out);
        if (st->isNull(14))
            out.null();
        else
            out.number(st->real(14)); // VRFATU
        out.text(p->cdEmpresa);
        writeText(*st, 15, out); // IDCHTPGTOOK
        writeText(*st, 16, out); // IDCHTASSINADA
        out.text(cl->cdGerenteImpCli);
        writeText(*st, 17, out); // IDCDAOK
        writeOptional(p->dsLocalCont, out);
        out.text(p->proposta);
        writeOptional(p->dsRefeProposFas, out);
        out.text(p->idTipoPropFas);
        out.text(p->idTipoCobrCont);
        out.text(*service);
        out.endRow();
        ++rows;
    }
    return rows;
}

} // namespace

ListSplit ListSplit::automatic()
{
    ListSplit split;
    split.workers = std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
    return split;
}

std::size_t ChtRepository::writeChtList(Store& store, const ChtFilter& filter,
                                        wire::PacketWriter& out, const ListSplit& split)
{
    out.begin(chtFields());
    // An empty selection selects nothing (and the empty list is not a JSON array).
    if ((!filter.allClients && filter.clients.empty()) ||
        (!filter.allFuncs && filter.funcs.empty()) || filter.firstDay > filter.lastDay) {
        out.end();
        return 0;
    }
    const std::string from = sqldate::fromDay(filter.firstDay);
    const std::string to = sqldate::fromDay(filter.lastDay + 1);
    ListPlan plan;
    {
        auto lease = store.acquire();
        plan = planList(*lease, from, to, split);
        if (!plan.inMemory) {
            const std::size_t rows = writeChtRows(*lease, filter, from, to, out);
            out.end();
            return rows;
        }
    }
    // A long list: the joined tables and the pieces read on one snapshot, the pieces side by
    // side and spliced in order (the first straight into the answer, the others into blocks).
    const std::size_t pieces = plan.points.size() - 1;
    Store::Snapshot snapshot = store.acquireSnapshot(pieces);
    const JoinedTables tables = readJoinedTables(snapshot[0]);
    const std::vector<std::string>& points = plan.points;
    std::vector<std::string> blocks(pieces);
    std::vector<std::size_t> rows(pieces, 0);
    std::vector<std::exception_ptr> errors(pieces);
    std::vector<std::thread> threads;
    for (std::size_t i = 1; i < pieces; ++i) {
        threads.emplace_back([&, i] {
            try {
                wire::PacketWriter block(blocks[i]);
                block.beginRows(chtFields());
                rows[i] = writeJoinedChtRows(snapshot[i], filter, tables, points[i], points[i + 1],
                                             block);
                block.end();
            } catch (...) {
                errors[i] = std::current_exception();
            }
        });
    }
    try {
        rows[0] = writeJoinedChtRows(snapshot[0], filter, tables, points[0], points[1], out);
    } catch (...) {
        errors[0] = std::current_exception();
    }
    for (std::thread& t : threads)
        t.join();
    for (const std::exception_ptr& e : errors)
        if (e)
            std::rethrow_exception(e);
    for (std::size_t i = 1; i < pieces; ++i) {
        out.appendRows(blocks[i], rows[i]);
        rows[0] += rows[i];
        std::string().swap(blocks[i]);
    }
    out.end();
    return rows[0];
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
        for (int i = 7; i <= 11; ++i)
            writeMinutes(*st, i, out);
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
        writeDate(*st, 0, out);
        out.number(st->real(1));
        out.endRow();
        ++rows;
    }
    out.end();
    return rows;
}

std::optional<ChtState> ChtRepository::find(SqlConnection& c, const ChtKey& key)
{
    std::string sql =
        "SELECT IDSTATUSCHT, IDCHTPGTOOK, IDCHTASSINADA, DSALTERACAOCHT FROM CHT WHERE";
    sql += kKeyWhere;
    if (c.dialect() == Dialect::Postgres)
        sql += " FOR UPDATE";
    auto st = c.prepare(sql);
    bindKey(*st, 1, key);
    if (!st->step())
        return std::nullopt;
    ChtState state;
    state.idStatusCht = std::string(st->text(0));
    state.idChtPgtoOk = std::string(st->text(1));
    state.idChtAssinada = std::string(st->text(2));
    state.dsAlteracaoCht = st->isNull(3) ? std::string() : std::string(st->text(3));
    return state;
}

void ChtRepository::setStatus(SqlConnection& c, const ChtKey& key, const std::string& status)
{
    auto st = c.prepare(std::string("UPDATE CHT SET IDSTATUSCHT = ? WHERE") + kKeyWhere);
    st->bindText(1, status);
    bindKey(*st, 2, key);
    st->run();
}

void ChtRepository::remove(SqlConnection& c, const ChtKey& key)
{
    auto release =
        c.prepare(std::string("UPDATE CDA SET NRSEQUCHT = NULL, IDSITSERVPREST = CASE WHEN"
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
    auto st = c.prepare(sql);
    int p = 1;
    for (const auto& s : sets)
        st->bindText(p++, s.second);
    p = bindKey(*st, p, key);
    for (const auto& e : expected)
        st->bindText(p++, e.second);
    st->run();
    return st->changes() == 1;
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
