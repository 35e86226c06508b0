// cht-server: the application server of "Gerenciamento de CHT".
#include "CancelaChtService.h"
#include "DemoData.h"
#include "RpcServer.h"
#include "Store.h"

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
#include <thread>

using namespace cht::server;

namespace {

void usage()
{
    std::cerr
        << "uso: cht-server [--listen HOST:PORTA] [--db sqlite:ARQUIVO | --db postgresql://...]\n"
           "                  [--threads N] [--queue N] [--max-connections N]\n"
           "                  [--max-per-address N] [--header-timeout S] [--request-timeout S]\n"
           "                  [--list-workers N] [--quiet]\n"
           "       cht-server --db ... --create            cria o banco vazio e sai\n"
           "       cht-server --db ... --init-demo [--chts N]  cria o banco de demonstração e sai\n"
           "padrões: --listen 127.0.0.1:8080 --db sqlite:cht.db --threads 16 --queue 64\n"
           "         --max-connections 1024 --max-per-address 64\n"
           "         --header-timeout 10 --request-timeout 60 (segundos)\n"
           "         --list-workers: os núcleos da máquina, até 4 (leitores de uma lista longa)\n"
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

    if (create && initDemo) {
        std::cerr << "cht-server: use --create ou --init-demo, não os dois\n";
        return 2;
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
    RpcServer server(service, options);
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
    logLine("cht-server atendendo " + std::string(CancelaChtService::kObjectName) + " em http://" +
            options.host + ":" + std::to_string(bound) + "/rpc com " + store->describe());
    server.run();
    // run() also returns when the listener fails: wake the waiter so that it can end.
    if (!signalled)
        pthread_kill(waiter.native_handle(), SIGTERM);
    waiter.join();
    logLine("cht-server encerrado");
    return 0;
}
