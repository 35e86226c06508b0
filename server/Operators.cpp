#include "Operators.h"

#include "SqlTransaction.h"

namespace cht::server {

namespace {

bool exists(SqlConnection& c, const std::string& code)
{
    auto st = c.prepare("SELECT 1 FROM OPERADOR WHERE CDOPERADOR = ?");
    st->bindText(1, code);
    return st->step();
}

} // namespace

void Operators::setPassword(SqlConnection& c, const std::string& code, const std::string& hash)
{
    SqlTransaction tx(c);
    if (exists(c, code)) {
        auto st = c.prepare("UPDATE OPERADOR SET DSSENHAHASH = ? WHERE CDOPERADOR = ?");
        st->bindText(1, hash);
        st->bindText(2, code);
        st->run();
    } else {
        auto st = c.prepare("INSERT INTO OPERADOR (CDOPERADOR, NMOPERADOR, IDATIVO, DSSENHAHASH)"
                            " VALUES (?, ?, 'S', ?)");
        st->bindText(1, code);
        st->bindText(2, code);
        st->bindText(3, hash);
        st->run();
    }
    tx.commit();
}

void Operators::put(SqlConnection& c, const std::string& code, const std::string& name,
                    const std::string& hash)
{
    auto del = c.prepare("DELETE FROM OPERADOR WHERE CDOPERADOR = ?");
    del->bindText(1, code);
    del->run();
    auto st = c.prepare("INSERT INTO OPERADOR (CDOPERADOR, NMOPERADOR, IDATIVO, DSSENHAHASH)"
                        " VALUES (?, ?, 'S', ?)");
    st->bindText(1, code);
    st->bindText(2, name);
    st->bindText(3, hash);
    st->run();
}

bool Operators::setActive(SqlConnection& c, const std::string& code, bool active)
{
    auto st = c.prepare("UPDATE OPERADOR SET IDATIVO = ? WHERE CDOPERADOR = ?");
    st->bindText(1, active ? "S" : "N");
    st->bindText(2, code);
    st->run();
    return st->changes() == 1;
}

} // namespace cht::server
