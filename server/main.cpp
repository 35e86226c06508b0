// cht-server: the application server of "Gerenciamento de CHT".
#include "Audit.h"
#include "CancelaChtService.h"
#include "Credentials.h"
#include "DemoData.h"
#include "Operators.h"
#include "RpcServer.h"
#include "SessionService.h"
#include "Store.h"
#include "TlsContext.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <iostream>
#include <mutex>
#include <pthread.h>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>

using namespace cht::server;

namespace {

void usage()
{
    std::cerr
        << "uso: cht-server [--listen HOST:PORTA] [--db sqlite:ARQUIVO | --db postgresql://...]\n"
           "                  [--threads N] [--queue N] [--max-connections N]\n"
           "                  [--max-per-address N] [--header-timeout S] [--request-timeout S]\n"
           "                  [--list-workers N] [--tls-cert ARQUIVO --tls-key ARQUIVO] [--quiet]\n"
           "       cht-server --db ... --create            cria o banco vazio e sai\n"
           "       cht-server --db ... --init-demo [--chts N]  cria o banco de demonstração e sai\n"
           "       cht-server --db ... --set-password OPERADOR   define a senha (lida sem eco)\n"
           "       cht-server --db ... --disable-operator OPERADOR | --enable-operator OPERADOR\n"
           "       cht-server --db ... --audit [--since AAAA-MM-DD[THH:MM]] [--cht CHAVE]\n"
           "                  [--operator OPERADOR]      mostra a trilha de auditoria\n"
           "sessões: [--session-idle MIN] [--session-max MIN] (padrões 60 e 720)\n"
           "         [--allowed-host NOME]... nomes aceitos no cabeçalho Host (padrão: os de\n"
           "         loopback e o endereço de --listen)\n"
           "padrões: --listen 127.0.0.1:8080 --db sqlite:cht.db --threads 16 --queue 64\n"
           "         --max-connections 1024 --max-per-address 64\n"
           "         --header-timeout 10 --request-timeout 60 (segundos)\n"
           "         --list-workers: os núcleos da máquina, até 4 (leitores de uma lista longa)\n"
           "HTTPS: --tls-cert (certificado PEM, a cadeia com o do servidor primeiro) e --tls-key\n"
           "      (chave privada PEM sem senha), os dois juntos; sem eles, HTTP.\n"
           "O banco precisa existir: sem --create ou --init-demo nada é criado.\n";
}

std::mutex g_logMutex;

void logLine(const std::string& line)
{
    std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    std::lock_guard lock(g_logMutex);
    std::cerr << stamp << ' ' << line << '\n';
}

bool parseCount(const char* text, std::size_t& out)
{
    char* end = nullptr;
    unsigned long long v = std::strtoull(text, &end, 10);
    if (end == text || *end != '\0' || v == 0)
        return false;
    out = static_cast<std::size_t>(v);
    return true;
}

// One line from the terminal without echo, or from standard input when it is not a terminal.
bool readSecret(const char* prompt, std::string& out)
{
    const bool tty = ::isatty(STDIN_FILENO) != 0;
    termios saved{};
    if (tty) {
        std::cerr << prompt << std::flush;
        ::tcgetattr(STDIN_FILENO, &saved);
        termios silent = saved;
        silent.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent);
    }
    const bool ok = static_cast<bool>(std::getline(std::cin, out));
    if (tty) {
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        std::cerr << "\n";
    }
    if (!out.empty() && out.back() == '\r')
        out.pop_back();
    return ok;
}

// "AAAA-MM-DD" or "AAAA-MM-DDTHH:MM" (also with a space), local time, as milliseconds since 1970.
bool parseSince(const std::string& text, std::int64_t& out)
{
    std::tm t{};
    int year = 0, month = 0, day = 0, hour = 0, minute = 0;
    char sep = 0;
    const int n = std::sscanf(text.c_str(), "%4d-%2d-%2d%c%2d:%2d", &year, &month, &day, &sep,
                              &hour, &minute);
    if (!(n == 3 || (n == 6 && (sep == 'T' || sep == ' '))) || month < 1 || month > 12 || day < 1 ||
        day > 31 || hour > 23 || minute > 59)
        return false;
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_isdst = -1;
    const std::time_t epoch = std::mktime(&t);
    if (epoch == static_cast<std::time_t>(-1))
        return false;
    out = static_cast<std::int64_t>(epoch) * 1000;
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    std::string listen = "127.0.0.1:8080";
    std::string db = "sqlite:cht.db";
    bool initDemo = false;
    bool create = false;
    bool quiet = false;
    DemoOptions demo;
    HttpLimits limits;
    ListSplit listSplit = ListSplit::automatic();
    std::string setPassword;
    std::string enableOperator;
    std::string disableOperator;
    bool audit = false;
    AuditFilter auditFilter;
    SessionLimits sessionLimits;
    std::vector<std::string> allowedHosts;
    std::string tlsCert;
    std::string tlsKey;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](const char* name) -> const char* {
            if (i + 1 >= argc) {
                std::cerr << "cht-server: falta o valor de " << name << "\n";
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--listen") {
            listen = value("--listen");
        } else if (a == "--db") {
            db = value("--db");
        } else if (a == "--init-demo") {
            initDemo = true;
        } else if (a == "--create") {
            create = true;
        } else if (a == "--chts") {
            if (!parseCount(value("--chts"), demo.chts)) {
                std::cerr << "cht-server: --chts espera um número positivo\n";
                return 2;
            }
        } else if (a == "--threads" || a == "--io-threads" || a == "--queue" ||
                   a == "--max-connections" || a == "--max-per-address") {
            std::size_t& target = a == "--threads"           ? limits.workers
                                  : a == "--io-threads"      ? limits.ioThreads
                                  : a == "--queue"           ? limits.queueDepth
                                  : a == "--max-connections" ? limits.maxConnections
                                                             : limits.maxConnectionsPerAddress;
            if (!parseCount(value(argv[i]), target)) {
                std::cerr << "cht-server: " << a << " espera um número positivo\n";
                return 2;
            }
        } else if (a == "--header-timeout" || a == "--request-timeout") {
            std::size_t seconds = 0;
            if (!parseCount(value(argv[i]), seconds) || seconds > 3600) {
                std::cerr << "cht-server: " << a << " espera segundos, de 1 a 3600\n";
                return 2;
            }
            (a == "--header-timeout" ? limits.headerTimeout : limits.requestTimeout) =
                std::chrono::seconds(seconds);
        } else if (a == "--list-workers") {
            std::size_t workers = 0;
            if (!parseCount(value("--list-workers"), workers) || workers > 64) {
                std::cerr << "cht-server: --list-workers espera um número de 1 a 64\n";
                return 2;
            }
            listSplit.workers = static_cast<unsigned>(workers);
        } else if (a == "--set-password") {
            setPassword = SessionService::normalizedCode(value("--set-password"));
        } else if (a == "--enable-operator") {
            enableOperator = SessionService::normalizedCode(value("--enable-operator"));
        } else if (a == "--disable-operator") {
            disableOperator = SessionService::normalizedCode(value("--disable-operator"));
        } else if (a == "--audit") {
            audit = true;
        } else if (a == "--since") {
            std::int64_t since = 0;
            if (!parseSince(value("--since"), since)) {
                std::cerr << "cht-server: --since espera AAAA-MM-DD ou AAAA-MM-DDTHH:MM\n";
                return 2;
            }
            auditFilter.since = since;
        } else if (a == "--cht") {
            auditFilter.cht = value("--cht");
        } else if (a == "--operator") {
            auditFilter.operador = SessionService::normalizedCode(value("--operator"));
        } else if (a == "--session-idle" || a == "--session-max") {
            std::size_t minutes = 0;
            if (!parseCount(value(argv[i]), minutes) || minutes > 7 * 24 * 60) {
                std::cerr << "cht-server: " << a << " espera minutos, de 1 a 10080\n";
                return 2;
            }
            (a == "--session-idle" ? sessionLimits.idle : sessionLimits.absolute) =
                std::chrono::minutes(minutes);
        } else if (a == "--tls-cert") {
            tlsCert = value("--tls-cert");
        } else if (a == "--tls-key") {
            tlsKey = value("--tls-key");
        } else if (a == "--allowed-host") {
            allowedHosts.emplace_back(value("--allowed-host"));
        } else if (a == "--quiet") {
            quiet = true;
        } else if (a == "--help" || a == "-h") {
            usage();
            return 0;
        } else {
            std::cerr << "cht-server: opção desconhecida: " << a << "\n";
            usage();
            return 2;
        }
    }

    const int actions = int(create) + int(initDemo) + int(audit) + int(!setPassword.empty()) +
                        int(!enableOperator.empty()) + int(!disableOperator.empty());
    if (actions > 1) {
        std::cerr << "cht-server: use só uma de --create, --init-demo, --set-password,"
                     " --enable-operator, --disable-operator e --audit\n";
        return 2;
    }
    for (const std::string* code : {&setPassword, &enableOperator, &disableOperator}) {
        if (code->size() > Operators::kMaxCode) {
            std::cerr << "cht-server: o código do operador tem no máximo " << Operators::kMaxCode
                      << " caracteres\n";
            return 2;
        }
    }
    if (tlsCert.empty() != tlsKey.empty()) {
        std::cerr << "cht-server: --tls-cert e --tls-key vão juntos: informe o certificado e a"
                     " chave privada\n";
        return 2;
    }
    // Checked before the database is opened (and perhaps brought up to date): a server that
    // cannot serve changes nothing.
    std::shared_ptr<TlsContext> tls;
    if (!tlsCert.empty() && actions == 0) {
        try {
            tls = TlsContext::load(tlsCert, tlsKey);
        } catch (const std::exception& e) {
            std::cerr << "cht-server: " << e.what() << " O servidor não foi iniciado.\n";
            return 1;
        }
    }
    std::unique_ptr<Store> store;
    try {
        store = Store::open(db, create || initDemo ? OpenMode::Create : OpenMode::Existing);
    } catch (const std::exception& e) {
        std::cerr << "cht-server: " << e.what() << "\n";
        return 1;
    }
    if (create) {
        std::cerr << "cht-server: banco pronto em " << store->describe() << "\n";
        return 0;
    }
    try {
        if (!setPassword.empty()) {
            std::string password;
            std::string again;
            if (!readSecret("Nova senha: ", password)) {
                std::cerr << "cht-server: nenhuma senha foi lida\n";
                return 1;
            }
            if (::isatty(STDIN_FILENO) != 0 &&
                (!readSecret("Repita a senha: ", again) || again != password)) {
                std::cerr << "cht-server: as senhas não conferem; nada foi alterado\n";
                return 1;
            }
            if (password.size() < 8) {
                std::cerr << "cht-server: a senha precisa de pelo menos 8 caracteres; nada foi"
                             " alterado\n";
                return 1;
            }
            auto lease = store->acquire();
            Operators::setPassword(*lease, setPassword, Credentials::hashPassword(password));
            std::cerr << "cht-server: senha do operador " << setPassword << " definida\n";
            return 0;
        }
        if (!enableOperator.empty() || !disableOperator.empty()) {
            const bool enable = !enableOperator.empty();
            const std::string& code = enable ? enableOperator : disableOperator;
            auto lease = store->acquire();
            if (!Operators::setActive(*lease, code, enable)) {
                std::cerr << "cht-server: operador " << code << " não encontrado\n";
                return 1;
            }
            std::cerr << "cht-server: operador " << code << (enable ? " ativado" : " desativado")
                      << "\n";
            return 0;
        }
        if (audit) {
            auto lease = store->acquire();
            Audit::print(*lease, auditFilter, std::cout);
            return 0;
        }
    } catch (const std::exception& e) {
        std::cerr << "cht-server: " << e.what() << "\n";
        return 1;
    }
    if (initDemo) {
        try {
            auto lease = store->acquire();
            auto s = DemoData::generate(*lease, demo);
            std::cerr << "cht-server: dados de demonstração criados em " << store->describe()
                      << ": " << s.clients << " clientes, " << s.employees << " funcionários, "
                      << s.proposals << " propostas, " << s.services << " serviços, " << s.chts
                      << " CHTs, " << s.cdas << " CDAs, " << s.parcels << " parcelas\n";
        } catch (const std::exception& e) {
            std::cerr << "cht-server: " << e.what() << "\n";
            return 1;
        }
        return 0;
    }

    auto colon = listen.rfind(':');
    if (colon == std::string::npos) {
        std::cerr << "cht-server: --listen espera HOST:PORTA\n";
        return 2;
    }
    RpcServerOptions options;
    options.host = listen.substr(0, colon);
    char* end = nullptr;
    long port = std::strtol(listen.c_str() + colon + 1, &end, 10);
    if (*end != '\0' || port < 0 || port > 65535) {
        std::cerr << "cht-server: porta inválida em --listen: " << listen << "\n";
        return 2;
    }
    options.port = static_cast<int>(port);
    options.limits = limits;
    options.allowedHosts = allowedHosts;
    options.tls = tls;
    if (!quiet)
        options.log = logLine;

    // SIGINT and SIGTERM are taken by one thread that stops the server; the workers never see
    // them.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    CancelaChtService service(*store);
    service.setListSplit(listSplit);
    SessionService sessions(*store, sessionLimits);
    RpcServer server(service, sessions, options);
    int bound = 0;
    try {
        bound = server.bind();
    } catch (const std::exception& e) {
        std::cerr << "cht-server: " << e.what() << "\n";
        return 1;
    }
    std::atomic<bool> signalled{false};
    std::thread waiter([&] {
        int received = 0;
        sigwait(&signals, &received);
        signalled = true;
        logLine(std::string("sinal ") + (received == SIGINT ? "SIGINT" : "SIGTERM") +
                " recebido: encerrando");
        server.stop();
    });
    logLine("cht-server atendendo " + std::string(CancelaChtService::kObjectName) + " em " +
            (tls ? "https://" : "http://") + options.host + ":" + std::to_string(bound) +
            "/rpc com " + store->describe());
    server.run();
    // run() also returns when the listener fails: wake the waiter so that it can end.
    if (!signalled)
        pthread_kill(waiter.native_handle(), SIGTERM);
    waiter.join();
    logLine("cht-server encerrado");
    return 0;
}
