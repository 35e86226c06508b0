#include "RawConnection.h"

#include <gtest/gtest.h>
#include <simdjson.h>

#include <cctype>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace cht::server::test {

using Clock = std::chrono::steady_clock;

RawConnection::RawConnection(int port, const std::string& from)
{
    m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (m_fd < 0)
        return;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    ::inet_pton(AF_INET, from.c_str(), &local.sin_addr);
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    server.sin_port = htons(static_cast<std::uint16_t>(port));
    m_connected = ::bind(m_fd, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0 &&
                  ::connect(m_fd, reinterpret_cast<sockaddr*>(&server), sizeof server) == 0;
}

RawConnection::~RawConnection()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool RawConnection::send(std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

std::string RawConnection::receive(std::chrono::milliseconds wait)
{
    std::string out;
    const auto until = Clock::now() + wait;
    char buffer[4096];
    while (Clock::now() < until) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(std::max<long long>(left, 1))) <= 0)
            break;
        const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        out.append(buffer, static_cast<std::size_t>(n));
    }
    return out;
}

bool RawConnection::closedWithin(std::chrono::milliseconds wait)
{
    const auto until = Clock::now() + wait;
    char buffer[4096];
    while (Clock::now() < until) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(std::max<long long>(left, 1))) <= 0)
            return false;
        const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            return true;
    }
    return false;
}

std::vector<Answer> answersOf(const std::string& body)
{
    std::vector<Answer> out;
    simdjson::ondemand::parser parser;
    const simdjson::padded_string json(body);
    simdjson::ondemand::document doc;
    auto one = [&](simdjson::ondemand::object answer) {
        Answer a;
        bool hasId = false;
        bool hasOutcome = false;
        for (auto field : answer) {
            std::string_view key;
            if (field.unescaped_key().get(key))
                break;
            simdjson::ondemand::value v = field.value();
            if (key == "id") {
                a.id = std::string(v.raw_json_token());
                while (!a.id.empty() && std::isspace(static_cast<unsigned char>(a.id.back())))
                    a.id.pop_back();
                hasId = true;
            } else if (key == "error") {
                std::int64_t code = 0;
                hasOutcome = !v["code"].get_int64().get(code);
                a.code = static_cast<int>(code);
            } else if (key == "result") {
                hasOutcome = true;
            }
        }
        if (!hasId || !hasOutcome)
            ADD_FAILURE() << "resposta JSON-RPC malformada: " << body;
        out.push_back(std::move(a));
    };
    if (parser.iterate(json).get(doc)) {
        ADD_FAILURE() << "resposta que não é JSON: " << body;
        return out;
    }
    simdjson::ondemand::array items;
    simdjson::ondemand::object single;
    if (doc.get_array().get(items) == simdjson::SUCCESS) {
        for (auto item : items) {
            simdjson::ondemand::object answer;
            if (item.get_object().get(answer)) {
                ADD_FAILURE() << "item de lote que não é objeto: " << body;
                break;
            }
            one(answer);
        }
    } else if (doc.rewind(), doc.get_object().get(single) == simdjson::SUCCESS) {
        one(single);
    } else {
        ADD_FAILURE() << "resposta que não é objeto nem lista: " << body;
    }
    return out;
}

} // namespace cht::server::test
