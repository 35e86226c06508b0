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
