// The six texts that identify one CHT.
#pragma once

#include <string>

namespace cht::server {

struct ChtKey {
    std::string nrProposFas;  // NRPROPOSFAS
    std::string nrVerPropFas; // NRVERPROPFAS
    std::string cdTipoServ;   // CDTIPOSERV
    std::string nrServCont;   // NRSERVCONT
    std::string nrSequCht;    // NRSEQUCHT
    std::string cdFunc;       // CDFUNC

    bool operator==(const ChtKey&) const = default;
    auto operator<=>(const ChtKey&) const = default;

    /// How a message names the CHT: "CHT 00012 (proposta 2026000123/01, serviço 001/002,
    /// funcionário F0007)".
    std::string describe() const
    {
        return "CHT " + nrSequCht + " (proposta " + nrProposFas + "/" + nrVerPropFas +
               ", serviço " + cdTipoServ + "/" + nrServCont + ", funcionário " + cdFunc + ")";
    }
};

} // namespace cht::server
