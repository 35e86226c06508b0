// Memory of long texts (answers, request bodies) kept for the next long ones.
#pragma once

#include <cstddef>
#include <string>

namespace cht::server {

/// A list's answer runs to tens of megabytes, and on the virtual machines the server runs on,
/// memory touched for the first time costs far more than using it: writing 38 MB into fresh
/// memory took 105-138 ms against 2 ms into memory written before, and sending it 65-80 ms
/// against 10 ms. The texts of long answers and requests therefore go back here when done, and
/// the next long ones are written into them. Bounded: a few texts, a set number of bytes in all.
class TextPool {
public:
    /// Below this, a text is not worth keeping.
    static constexpr std::size_t kMinBytes = 1u << 20;
    static constexpr std::size_t kMaxTexts = 8;
    static constexpr std::size_t kMaxBytes = 192u << 20;

    /// An empty text, with the most room of those kept (none when none is kept).
    static std::string take();
    /// Keeps the text's room when it is long enough and the pool has room for it.
    static void give(std::string&& text);
    /// Bytes of room kept now.
    static std::size_t keptBytes();
};

} // namespace cht::server
