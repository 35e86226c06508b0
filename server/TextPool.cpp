#include "TextPool.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace cht::server {

namespace {

struct Pool {
    std::mutex mutex;
    std::vector<std::string> texts;
    std::size_t bytes = 0;
};

Pool& pool()
{
    static Pool p;
    return p;
}

} // namespace

std::string TextPool::take()
{
    Pool& p = pool();
    std::lock_guard lock(p.mutex);
    if (p.texts.empty())
        return {};
    const auto most = std::max_element(
        p.texts.begin(), p.texts.end(),
        [](const std::string& a, const std::string& b) { return a.capacity() < b.capacity(); });
    std::string text = std::move(*most);
    p.texts.erase(most);
    p.bytes -= text.capacity();
    return text;
}

void TextPool::give(std::string&& text)
{
    const std::size_t room = text.capacity();
    if (room < kMinBytes || room > kMaxBytes)
        return;
    text.clear();
    std::vector<std::string> dropped; // freed once the lock is let go
    Pool& p = pool();
    std::lock_guard lock(p.mutex);
    // The smallest kept text makes way for a bigger one; otherwise the newcomer is dropped.
    while (!p.texts.empty() && (p.texts.size() >= kMaxTexts || p.bytes + room > kMaxBytes)) {
        const auto least = std::min_element(
            p.texts.begin(), p.texts.end(),
            [](const std::string& a, const std::string& b) { return a.capacity() < b.capacity(); });
        if (least->capacity() >= room)
            return;
        p.bytes -= least->capacity();
        dropped.push_back(std::move(*least));
        p.texts.erase(least);
    }
    p.bytes += room;
    p.texts.push_back(std::move(text));
}

std::size_t TextPool::keptBytes()
{
    Pool& p = pool();
    std::lock_guard lock(p.mutex);
    return p.bytes;
}

} // namespace cht::server
