// A deterministic generator of realistic demo data, with dates relative to the day it runs.
#pragma once

#include "Credentials.h"
#include "SqlConnection.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace cht::server {

struct DemoOptions {
    std::size_t chts = 1500;
    /// OLE day number of "today"; 0 takes the local date.
    std::int64_t today = 0;
    std::uint64_t seed = 9800;
    HashCost passwordCost = HashCost::Interactive;
};

class DemoData {
public:
    struct Summary {
        std::size_t clients = 0, employees = 0, proposals = 0, services = 0, chts = 0, cdas = 0,
                    parcels = 0;
    };

    /// The client managers; a client's CDGERENTEIMPCLI is one of them. "DEMO" is the one the
    /// demo logs in with.
    static const std::vector<std::string>& operators();
    /// Their names, in the same order.
    static const std::vector<std::string>& operatorNames();
    /// Every demo operator's password; README and server/README.md state it.
    static constexpr const char* kDemoPassword = "demo-cht";

    /// Fills an empty database in one transaction. Throws StoreError when it already has CHTs
    /// or clients.
    static Summary generate(SqlConnection& connection, const DemoOptions& options);
};

} // namespace cht::server
