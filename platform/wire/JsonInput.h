// Private: one parsed JSON text (simdjson On Demand) and the translation of simdjson's error
// codes into Portuguese messages.
#pragma once

#include "WireError.h"

#include <simdjson.h>

#include <atomic>
#include <memory>
#include <string>
#include <string_view>

namespace cht::wire {

namespace ondemand = simdjson::ondemand;

/// A decoding failure; syntax() is true when the text is not well-formed JSON at all, so that the
/// RPC layer can tell a parse error from a wrong shape.
class DecodeFailure : public WireError {
public:
    DecodeFailure(const std::string& message, bool syntax) : WireError(message), m_syntax(syntax) {}
    bool syntax() const { return m_syntax; }

private:
    bool m_syntax;
};

/// Portuguese description of a simdjson error.
std::string describeJsonError(simdjson::error_code code);
/// True for errors that mean the text is not well-formed JSON.
bool isSyntaxError(simdjson::error_code code);
/// Throws DecodeFailure "<prefix><where>: <description>" (where may be empty).
[[noreturn]] void throwJsonError(simdjson::error_code code, std::string_view prefix,
                                 std::string_view where);
/// Throws DecodeFailure "<prefix><what>" for a wrong shape.
[[noreturn]] void throwShape(std::string_view prefix, std::string_view what);

/// Starts iterating the text: in place when `capacity` (the bytes readable from json.data())
/// leaves the parser its padding, else from a padded copy. Small texts reuse a parser kept per
/// thread (unless one is being read already); big ones get their own, so that one 30 MB load
/// does not pin its buffers, unless `Big::Kept` says that another big text of the kind will
/// follow: then one parser for them all is kept by the process, its pages not faulted in anew
/// for each text.
class JsonInput {
public:
    enum class Big { Own, Kept };
    JsonInput(std::string_view json, std::string_view prefix, std::size_t capacity = 0,
              Big big = Big::Own);
    ~JsonInput();
    JsonInput(const JsonInput&) = delete;
    JsonInput& operator=(const JsonInput&) = delete;

    ondemand::document& document() { return m_doc; }
    /// Start and end of the text as the parser sees it, for size estimates.
    const char* begin() const { return m_text.data(); }
    const char* end() const { return m_text.data() + m_text.size(); }
    /// The top-level object; a top-level value of another type throws "<prefix><notObject>".
    ondemand::object rootObject(std::string_view notObject);
    /// Throws when anything but white space follows the top-level value.
    void expectEnd();

    /// The rows of a long list, left out of this text and decoded apart: where the "[]" that
    /// stands for them lies in this text, and their own text ("[\n" rows "\n]") with how many
    /// bytes are readable from its start.
    struct RowsApart {
        const char* standIn = nullptr;
        char* begin = nullptr;
        std::size_t size = 0;
        std::size_t readable = 0;
    };
    void setRowsApart(const RowsApart& rows) { m_rowsApart = rows; }
    const RowsApart* rowsApart() const { return m_rowsApart.standIn ? &m_rowsApart : nullptr; }

private:
    void release();

    std::string_view m_prefix;
    bool* m_releaseShared = nullptr;
    std::atomic<bool>* m_releaseKept = nullptr;
    std::unique_ptr<ondemand::parser> m_ownParser;
    simdjson::padded_string m_copy;
    simdjson::padded_string_view m_text;
    ondemand::document m_doc;
    RowsApart m_rowsApart;
};

} // namespace cht::wire
