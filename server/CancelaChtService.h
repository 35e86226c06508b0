// The remote object "COT09800.rdmCancelaCHT": its seven methods and the rules they enforce.
#pragma once

#include "Caller.h"
#include "ChtKey.h"
#include "ChtListReader.h"
#include "Store.h"

#include "platform/wire/JsonRpc.h"

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cht::server {

struct ChtState;

/// What a successful call gives back: the arguments after the call (the by-reference ones are
/// read back by the caller), the data packet (empty for null) and its row count for the log.
struct CallResult {
    std::vector<wire::RpcArg> refs;
    std::string dataJson;
    /// The packet's texts after dataJson, when it was written in parts (a long list's pieces).
    std::vector<std::string> dataApart;
    std::size_t rows = 0;
};

/// Calls throw ParamError for arguments of the wrong number or type, RuleError for a refusal of
/// the rules (Portuguese, naming the CHT or the field), StoreError for a database failure.
/// Every changing method runs in one transaction: it applies all or nothing.
class CancelaChtService {
public:
    static constexpr std::string_view kObjectName = "COT09800.rdmCancelaCHT";
    /// The server's current date and time as an OLE date-time (local time).
    using Clock = std::function<double()>;

    explicit CancelaChtService(Store& store, Clock clock = {});

    Store& store() const { return m_store; }

    /// How GetCHT reads a long list (by default, on the machine's cores).
    void setListSplit(const ListSplit& split) { m_listSplit = split; }

    /// The method's own spelling when it exists (names compare without regard to case, as
    /// late-bound calls do), or an empty view.
    static std::string_view findMethod(std::string_view name);

    /// Runs a method for a signed-in caller: the rules of who may change what are the screen's
    /// (GetCHT lists for the caller only; approving, deleting and marking not to bill are for
    /// the client's manager), and every change is recorded in the audit trail in its own
    /// transaction.
    CallResult call(std::string_view method, std::vector<wire::RpcArg> params,
                    const Caller& caller);

    CallResult getCht(std::vector<wire::RpcArg> params, const Caller& caller);
    CallResult cancelaCht(std::vector<wire::RpcArg> params, const Caller& caller);
    CallResult confirmaCht(std::vector<wire::RpcArg> params, const Caller& caller);
    CallResult setCht(std::vector<wire::RpcArg> params, const Caller& caller);
    CallResult getConsultaCsa(std::vector<wire::RpcArg> params);
    CallResult getParcVenc(std::vector<wire::RpcArg> params);
    CallResult getData(std::vector<wire::RpcArg> params);

    /// The local date and time now, as an OLE date-time.
    static double localNow();

private:
    /// Acts on a whole key set at once, given the stored state of each key (in their order).
    using KeySetAction = std::function<void(SqlConnection&, const std::vector<ChtKey>& keys,
                                            const std::vector<std::optional<ChtState>>& stored)>;

    std::vector<ChtKey> keysOf(const wire::ColumnTable& packet) const;
    // A query of text arguments by value whose packet the repository writes.
    template <std::size_t N, class Write>
    CallResult textArgsQuery(std::string_view method, std::vector<wire::RpcArg> params,
                             const std::array<const char*, N>& names, Write write);
    /// Checks the one key-packet argument, then, in one transaction, runs action on the set once
    /// every key exists and none is billed; verb names the refused action in the message.
    CallResult forEachUnbilled(std::string_view method, std::vector<wire::RpcArg> params,
                               std::string_view verb, const Caller& caller,
                               const KeySetAction& action);

    Store& m_store;
    Clock m_clock;
    ListSplit m_listSplit = ListSplit::automatic();
};

} // namespace cht::server
