#include "ChtListReader.h"

#include "PacketColumn.h"
#include "SqlDate.h"
#include "TextPool.h"

#include "platform/wire/ChtListColumns.h"
#include "platform/wire/KeyList.h"

#include <algorithm>
#include <array>
#include <exception>
#include <initializer_list>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <unordered_set>

namespace cht::server {

using wire::FieldType;
using wire::kChtListColumns;

namespace {

// The tables of the list query, under their aliases there: C (CHT), P (PROPOSTA), CL (CLIENTE),
// F (FUNCIONARIO), T (TIPOSERV) and S (SERVCONT).
enum class Source : std::uint8_t { Cht, Proposal, Client, Employee, ServiceType, Service };
constexpr std::size_t kSourceCount = 6;

constexpr std::size_t slot(Source s)
{
    return static_cast<std::size_t>(s);
}

// Where a column of the list is read when it is not the CHT's own column of the same name. The
// SQL serves the list query and the reading of the joined table alone, under the same alias.
struct Origin {
    std::string_view column;
    Source source;
    std::string_view sql;
};

constexpr Origin kOrigins[] = {
    {"NMFANTCLIE", Source::Client, "CL.NMFANTCLIE"},
    {"NMFUNC", Source::Employee, "F.NMFUNC"},
    {"NMTIPOSERV", Source::ServiceType, "T.NMTIPOSERV"},
    {"INICIOCSA", Source::Cht, "C.DTINICIOCDA"},
    {"FIMCSA", Source::Cht, "C.DTFIMCDA"},
    {"NRINSJURCLIE", Source::Client, "CL.NRINSJURCLIE"},
    {"CDCLIENTE", Source::Proposal, "P.CDCLIENTE"},
    {"CDEMPRESA", Source::Proposal, "P.CDEMPRESA"},
    {"CDGERENTEIMPCLI", Source::Client, "CL.CDGERENTEIMPCLI"},
    {"DSLOCALCONT", Source::Proposal, "P.DSLOCALCONT"},
    {"PROPOSTA", Source::Proposal, "P.NRPROPOSFAS || '/' || P.NRVERPROPFAS"},
    {"DSREFEPROPOSFAS", Source::Proposal, "P.DSREFEPROPOSFAS"},
    {"IDTIPOPROPFAS", Source::Proposal, "P.IDTIPOPROPFAS"},
    {"IDTIPOCOBRCONT", Source::Proposal, "P.IDTIPOCOBRCONT"},
    {"IDTIPOCOBRSERV", Source::Service, "S.IDTIPOCOBRSERV"},
};

constexpr bool originsAreListColumns()
{
    for (const Origin& o : kOrigins)
        if (wire::chtListColumnIndex(o.column) >= kChtListColumns.size())
            return false;
    return true;
}
static_assert(originsAreListColumns(), "an origin names no column of the CHT list");
static_assert(kChtListColumns[0].name == "IDCHECK", "the tick is the list's first column");

// A column of the list after the tick (which is the server's "N" on every row), as read.
struct ReadColumn {
    Source source;
    FieldType type;
    std::string sql;
};

const std::vector<ReadColumn>& readColumns()
{
    static const std::vector<ReadColumn> columns = [] {
        std::vector<ReadColumn> all;
        for (std::size_t i = 1; i < kChtListColumns.size(); ++i) {
            const wire::ChtListColumn& c = kChtListColumns[i];
            ReadColumn r{Source::Cht, c.type, "C." + std::string(c.name)};
            for (const Origin& o : kOrigins) {
                if (o.column == c.name) {
                    r.source = o.source;
                    r.sql = o.sql;
                }
            }
            all.push_back(std::move(r));
        }
        return all;
    }();
    return columns;
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

// Room for a text of rows once its first rows show their size: the rows still expected at that
// size, and an eighth more, so that tens of megabytes are not moved while they grow.
class RoomAhead {
public:
    RoomAhead(wire::PacketWriter& out, std::size_t expectedRows)
        : m_out(out), m_expected(expectedRows), m_start(out.size())
    {}
    void rowsWritten(std::size_t rows)
    {
        constexpr std::size_t kSample = 256;
        if (rows != kSample || m_expected <= kSample)
            return;
        const std::size_t perRow = (m_out.size() - m_start) / kSample + 1;
        m_out.reserve(m_out.size() + (m_expected - kSample) * perRow * 9 / 8);
    }

private:
    wire::PacketWriter& m_out;
    std::size_t m_expected;
    std::size_t m_start;
};

// One piece of the list: the rows generated in [from, to), written in list order.
std::size_t writeChtRows(SqlConnection& c, const ChtFilter& filter, const std::string& from,
                         const std::string& to, wire::PacketWriter& out, std::size_t expectedRows)
{
    auto st = c.prepare(ChtListReader::listSql(c.dialect(), filter.allClients, filter.allFuncs));
    bindListFilter(*st, filter, from, to);
    const auto& columns = readColumns();
    const int count = static_cast<int>(columns.size());
    RoomAhead room(out, expectedRows);
    std::size_t rows = 0;
    while (st->step()) {
        out.beginRow();
        out.text("N");
        for (int i = 0; i < count; ++i)
            writeColumn(*st, i, columns[static_cast<std::size_t>(i)].type, out);
        out.endRow();
        room.rowsWritten(++rows);
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

// The list's columns that one joined table gives, in list order.
using Values = std::vector<wire::Value>;

// The small tables every CHT of a list is joined with, read once for a long list, so that each
// row costs hash lookups instead of five index searches. Keys join their parts with '\x1f'.
struct JoinedTables {
    struct Proposal {
        std::string cdCliente;
        Values values;
    };
    std::unordered_map<std::string, Proposal> proposals;
    std::unordered_map<std::string, Values> clients;
    std::unordered_map<std::string, Values> employees;
    std::unordered_map<std::string, Values> services;
    std::unordered_map<std::string, Values> serviceTypes;
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

// ", " and the SQL of each list column read from `source`.
std::string selectOf(Source source)
{
    std::string sql;
    for (const ReadColumn& c : readColumns())
        if (c.source == source)
            sql += ", " + c.sql;
    return sql;
}

// The values of selectOf(source), from the statement's column `first` on.
Values valuesOf(SqlStatement& st, int first, Source source)
{
    Values values;
    int col = first;
    for (const ReadColumn& c : readColumns())
        if (c.source == source)
            values.push_back(readColumn(st, col++, c.type));
    return values;
}

JoinedTables readJoinedTables(SqlConnection& c)
{
    JoinedTables t;
    std::string key;
    auto st = c.prepare("SELECT P.NRPROPOSFAS, P.NRVERPROPFAS, P.CDCLIENTE" +
                        selectOf(Source::Proposal) + " FROM PROPOSTA P");
    while (st->step()) {
        JoinedTables::Proposal p{std::string(st->text(2)), valuesOf(*st, 3, Source::Proposal)};
        t.proposals.emplace(keyOf(key, {st->text(0), st->text(1)}), std::move(p));
    }
    st = c.prepare("SELECT CL.CDCLIENTE" + selectOf(Source::Client) + " FROM CLIENTE CL");
    while (st->step())
        t.clients.emplace(std::string(st->text(0)), valuesOf(*st, 1, Source::Client));
    st = c.prepare("SELECT F.CDFUNC" + selectOf(Source::Employee) + " FROM FUNCIONARIO F");
    while (st->step())
        t.employees.emplace(std::string(st->text(0)), valuesOf(*st, 1, Source::Employee));
    st = c.prepare("SELECT S.NRPROPOSFAS, S.NRVERPROPFAS, S.CDTIPOSERV, S.NRSERVCONT" +
                   selectOf(Source::Service) + " FROM SERVCONT S");
    while (st->step()) {
        t.services.emplace(keyOf(key, {st->text(0), st->text(1), st->text(2), st->text(3)}),
                           valuesOf(*st, 4, Source::Service));
    }
    st = c.prepare("SELECT T.CDTIPOSERV" + selectOf(Source::ServiceType) + " FROM TIPOSERV T");
    while (st->step())
        t.serviceTypes.emplace(std::string(st->text(0)), valuesOf(*st, 1, Source::ServiceType));
    return t;
}

template <class Map> const typename Map::mapped_type* lookUp(const Map& map, const std::string& key)
{
    auto it = map.find(key);
    return it == map.end() ? nullptr : &it->second;
}

// How the joined writer reads a CHT: the list's CHT columns, then the keys of the joins that
// are not among them; and where each list column is found.
struct JoinedLayout {
    struct Step {
        Source source;
        FieldType type;
        int index; // the statement's column for the CHT, else the place in the joined values
    };
    std::string select;
    std::vector<Step> steps; // one per list column after the tick
    int nrProposFas = 0, nrVerPropFas = 0, cdTipoServ = 0, nrServCont = 0, cdFunc = 0;
};

const JoinedLayout& joinedLayout()
{
    static const JoinedLayout layout = [] {
        JoinedLayout l;
        std::vector<std::string_view> chtColumns;
        std::array<int, kSourceCount> counts{};
        for (const ReadColumn& c : readColumns()) {
            if (c.source == Source::Cht)
                chtColumns.push_back(c.sql);
            l.steps.push_back({c.source, c.type, counts[slot(c.source)]++});
        }
        auto column = [&](std::string_view sql) {
            auto it = std::find(chtColumns.begin(), chtColumns.end(), sql);
            if (it == chtColumns.end())
                it = chtColumns.insert(chtColumns.end(), sql);
            return static_cast<int>(it - chtColumns.begin());
        };
        l.nrProposFas = column("C.NRPROPOSFAS");
        l.nrVerPropFas = column("C.NRVERPROPFAS");
        l.cdTipoServ = column("C.CDTIPOSERV");
        l.nrServCont = column("C.NRSERVCONT");
        l.cdFunc = column("C.CDFUNC");
        l.select = "SELECT ";
        for (std::size_t i = 0; i < chtColumns.size(); ++i)
            l.select.append(i > 0 ? ", " : "").append(chtColumns[i]);
        l.select += " FROM CHT C";
        return l;
    }();
    return layout;
}

// One piece of a long list: the CHTs alone from the database, joined here with the tables read
// beforehand; the same rows, in the same order, as the list query gives. A CHT that misses a
// joined row is left out, as the query's inner joins leave it.
std::size_t writeJoinedChtRows(SqlConnection& c, const ChtFilter& filter,
                               const JoinedTables& tables, const std::string& from,
                               const std::string& to, wire::PacketWriter& out,
                               std::size_t expectedRows)
{
    const JoinedLayout& layout = joinedLayout();
    std::string sql = layout.select + " WHERE C.DTINCLCHT >= ? AND C.DTINCLCHT < ?";
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
    std::array<const Values*, kSourceCount> joined{};
    const Values*& proposal = joined[slot(Source::Proposal)];
    const Values*& client = joined[slot(Source::Client)];
    const Values*& employee = joined[slot(Source::Employee)];
    const Values*& serviceType = joined[slot(Source::ServiceType)];
    const Values*& service = joined[slot(Source::Service)];
    RoomAhead room(out, expectedRows);
    std::size_t rows = 0;
    while (st->step()) {
        const std::string_view nrProposFas = st->text(layout.nrProposFas);
        const std::string_view nrVerPropFas = st->text(layout.nrVerPropFas);
        const auto* p = lookUp(tables.proposals, keyOf(key, {nrProposFas, nrVerPropFas}));
        if (p == nullptr || (!filter.allClients && clients.count(p->cdCliente) == 0))
            continue;
        proposal = &p->values;
        client = lookUp(tables.clients, p->cdCliente);
        employee = lookUp(tables.employees, keyOf(key, {st->text(layout.cdFunc)}));
        serviceType = lookUp(tables.serviceTypes, keyOf(key, {st->text(layout.cdTipoServ)}));
        service = lookUp(tables.services,
                         keyOf(key, {nrProposFas, nrVerPropFas, st->text(layout.cdTipoServ),
                                     st->text(layout.nrServCont)}));
        if (client == nullptr || employee == nullptr || serviceType == nullptr ||
            service == nullptr)
            continue;
        out.beginRow();
        out.text("N");
        for (const JoinedLayout::Step& s : layout.steps)
            if (s.source == Source::Cht)
                writeColumn(*st, s.index, s.type, out);
            else
                out.value((*joined[slot(s.source)])[static_cast<std::size_t>(s.index)]);
        out.endRow();
        room.rowsWritten(++rows);
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

std::string ChtListReader::listSql(Dialect d, bool allClients, bool allFuncs)
{
    std::string sql = "SELECT ";
    const auto& columns = readColumns();
    for (std::size_t i = 0; i < columns.size(); ++i)
        sql.append(i > 0 ? ", " : "").append(columns[i].sql);
    sql += " FROM CHT C"
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

// Rows as a block of their own ("[row\n,row\n]"), written into `block` by `write`.
template <class Write>
std::size_t writeBlock(std::string& block, const std::vector<wire::FieldDef>& fields, Write&& write)
{
    wire::PacketWriter w(block);
    w.beginRows(fields);
    const std::size_t rows = write(w);
    w.end();
    return rows;
}

} // namespace

std::size_t ChtListReader::write(Store& store, const ChtFilter& filter, wire::PacketWriter& out,
                                 const ListSplit& split)
{
    const std::vector<wire::FieldDef>& fields = wire::chtListFields();
    out.begin(fields);
    // An empty selection selects nothing (and the empty list is not a JSON array).
    if ((!filter.allClients && filter.clients.empty()) ||
        (!filter.allFuncs && filter.funcs.empty()) || filter.firstDay > filter.lastDay) {
        out.end();
        return 0;
    }
    const std::string from = sqldate::fromDay(filter.firstDay);
    const std::string to = sqldate::dayAfter(filter.lastDay);
    ListPlan plan;
    {
        auto lease = store.acquire();
        plan = planList(*lease, from, to, split);
        if (!plan.inMemory) {
            std::size_t rows = 0;
            // A list of some length goes into memory kept from earlier answers, as the pieces of
            // a long list below; a short one is not worth a kept text.
            constexpr std::size_t kKeptFromRows = 4096;
            if (out.keepsBlocksApart() && plan.total >= kKeptFromRows) {
                std::string block = TextPool::take();
                rows = writeBlock(block, fields, [&](wire::PacketWriter& w) {
                    return writeChtRows(*lease, filter, from, to, w, plan.total);
                });
                out.takeRows(std::move(block), rows);
            } else {
                rows = writeChtRows(*lease, filter, from, to, out, plan.total);
            }
            out.end();
            return rows;
        }
    }
    // A long list: the joined tables and the pieces read on one snapshot, the pieces side by
    // side and spliced in order (the first straight into the answer, the others into blocks,
    // copied after it unless the answer keeps them apart). The CHTs of the period bound each
    // piece's rows.
    const std::size_t pieces = plan.points.size() - 1;
    Store::Snapshot snapshot = store.acquireSnapshot(pieces);
    const JoinedTables tables = readJoinedTables(snapshot[0]);
    const std::vector<std::string>& points = plan.points;
    // An answer that keeps blocks apart gets every piece as a block, in memory kept from earlier
    // answers; otherwise the first piece goes straight into the answer.
    const bool apart = out.keepsBlocksApart();
    const std::size_t firstBlock = apart ? 0 : 1;
    std::vector<std::string> blocks(pieces);
    for (std::size_t i = firstBlock; i < pieces; ++i)
        blocks[i] = TextPool::take();
    std::vector<std::size_t> rows(pieces, 0);
    std::vector<std::exception_ptr> errors(pieces);
    auto writePiece = [&](std::size_t i) {
        try {
            if (i < firstBlock) {
                rows[i] = writeJoinedChtRows(snapshot[i], filter, tables, points[i], points[i + 1],
                                             out, plan.total);
                return;
            }
            rows[i] = writeBlock(blocks[i], fields, [&](wire::PacketWriter& w) {
                return writeJoinedChtRows(snapshot[i], filter, tables, points[i], points[i + 1], w,
                                          plan.total / pieces);
            });
        } catch (...) {
            errors[i] = std::current_exception();
        }
    };
    std::vector<std::thread> threads;
    for (std::size_t i = 1; i < pieces; ++i)
        threads.emplace_back(writePiece, i);
    writePiece(0);
    for (std::thread& t : threads)
        t.join();
    for (const std::exception_ptr& e : errors)
        if (e)
            std::rethrow_exception(e);
    std::size_t total = 0;
    for (std::size_t i = 0; i < pieces; ++i) {
        if (i >= firstBlock)
            out.takeRows(std::move(blocks[i]), rows[i]);
        TextPool::give(std::move(blocks[i])); // what a copied block leaves
        total += rows[i];
    }
    out.end();
    return total;
}

} // namespace cht::server
