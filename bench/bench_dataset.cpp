// Speed and memory of the client data set on a CHT list, each figure a ratio of two measurements
// taken side by side in this run.
#include "platform/dataset/ClientDataSet.h"
#include "platform/wire/ChtListColumns.h"

#include <simdjson.h>

#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

using cht::platform::TClientDataSet;

void defineFields(TClientDataSet& cds)
{
    for (const auto& c : cht::wire::kChtListColumns)
        cds.addField(QString::fromLatin1(c.name), c.type, static_cast<int>(c.size));
}

std::string digits(std::mt19937& rng, int n)
{
    std::string s;
    for (int i = 0; i < n; ++i)
        s += static_cast<char>('0' + rng() % 10);
    return s;
}

// A CHT list as the server would send it: realistic names, codes and dates, ~300 bytes a row.
std::string chtPacket(std::size_t rows, unsigned seed)
{
    static const char* clients[] = {"PADARIA SÃO JORGE LTDA", "METALÚRGICA IRMÃOS SOUZA S/A",
                                    "SUPERMERCADO BOM PREÇO", "TRANSPORTADORA RÁPIDO SUL",
                                    "HOSPITAL SANTA LUZIA",   "CONSTRUTORA ALVORADA ME"};
    static const char* employees[] = {"JOSÉ CARLOS DA SILVA", "MARIA APARECIDA SANTOS",
                                      "JOÃO PEDRO OLIVEIRA", "ANA PAULA FERREIRA LIMA",
                                      "ANTÔNIO MARCOS PEREIRA"};
    static const char* services[] = {"MANUTENÇÃO PREVENTIVA", "SUPORTE TÉCNICO PRESENCIAL",
                                     "IMPLANTAÇÃO DE SISTEMA", "CONSULTORIA FISCAL"};
    static const char* places[] = {"RUA DAS FLORES, 123 - CENTRO - SÃO PAULO/SP",
                                   "AV. BRASIL, 4500 - GALPÃO 3 - CAMPINAS/SP",
                                   "ROD. BR-101, KM 20 - JOINVILLE/SC"};
    static const char* refs[] = {"CONTRATO DE SUPORTE 2026", "ADITIVO DE HORAS TÉCNICAS",
                                 "PROPOSTA COMERCIAL REVISADA"};
    static const char* letters = "PARN";

    cht::wire::ColumnTable t(cht::wire::chtListFields());
    t.reserveRows(rows);
    std::mt19937 rng(seed);
    for (std::size_t r = 0; r < rows; ++r) {
        const std::size_t row = t.appendRow();
        const std::string proposal = digits(rng, 10);
        const std::string version = digits(rng, 2);
        const double start = 45000 + static_cast<double>(rng() % 1500);
        std::size_t c = 0;
        t.setText(row, c++, "N");
        t.setText(row, c++, std::string(1, letters[rng() % 4]));
        t.setNumber(row, c++, start + 20 + static_cast<double>(rng() % 1440) / 1440.0);
        t.setText(row, c++, clients[rng() % 6]);
        t.setText(row, c++, employees[rng() % 5]);
        t.setText(row, c++, services[rng() % 4]);
        t.setText(row, c++, digits(rng, 5));
        t.setNumber(row, c++, start);
        t.setNumber(row, c++, start + 19);
        t.setText(row, c++, proposal);
        t.setText(row, c++, version);
        t.setText(row, c++,
                  digits(rng, 2) + "." + digits(rng, 3) + "." + digits(rng, 3) + "/0001-" +
                      digits(rng, 2));
        t.setText(row, c++, digits(rng, 6));
        t.setText(row, c++, "F" + digits(rng, 5));
        t.setText(row, c++, digits(rng, 3));
        t.setText(row, c++, digits(rng, 3));
        if (rng() % 3 == 0)
            t.setText(row, c, digits(rng, 6));
        ++c;
        ++c; // NRINVOICE: null
        if (rng() % 10 == 0)
            t.setText(row, c, "CLIENTE SOLICITOU O CANCELAMENTO DO FATURAMENTO DESTA CHT");
        ++c;
        t.setText(row, c++, std::to_string(rng() % 200) + ":" + digits(rng, 2));
        t.setNumber(row, c++, static_cast<double>(rng() % 1000000) / 100.0);
        t.setText(row, c++, "01");
        t.setText(row, c++, rng() % 2 ? "S" : "N");
        t.setText(row, c++, rng() % 2 ? "S" : "N");
        t.setText(row, c++, "GERENTE" + digits(rng, 2));
        t.setText(row, c++, rng() % 2 ? "S" : "N");
        t.setText(row, c++, places[rng() % 3]);
        t.setText(row, c++, proposal + "/" + version);
        t.setText(row, c++, refs[rng() % 3]);
        t.setText(row, c++, std::string(1, "LMS"[rng() % 3]));
        t.setText(row, c++, std::string(1, "HPF"[rng() % 3]));
        t.setText(row, c++, std::string(1, "HPF"[rng() % 3]));
    }
    return cht::wire::encodeDataPacket(t);
}

double seconds(const std::function<void()>& run)
{
    const auto t0 = std::chrono::steady_clock::now();
    run();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

std::size_t heapBytes()
{
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
}

// The floor a decoder cannot beat: simdjson's on-demand walk over the packet, reading every
// field description and every cell (texts unescaped, numbers converted). Like any reader of a
// std::string, it first copies the bytes into simdjson's padded buffer.
double bareWalk(const std::string& bytes)
{
    const simdjson::padded_string json(bytes);
    simdjson::ondemand::parser parser;
    double sum = 0;
    std::size_t texts = 0;
    simdjson::ondemand::document doc = parser.iterate(json);
    for (auto f : doc["fields"].get_array()) {
        simdjson::ondemand::object o = f.get_object();
        for (auto kv : o) {
            simdjson::ondemand::value v = kv.value();
            if (v.type() == simdjson::ondemand::json_type::string)
                texts += std::string_view(v.get_string()).size();
            else
                sum += v.get_double();
        }
    }
    for (auto row : doc["rows"].get_array()) {
        for (auto cell : row.get_array()) {
            switch (cell.type()) {
            case simdjson::ondemand::json_type::string:
                texts += std::string_view(cell.get_string()).size();
                break;
            case simdjson::ondemand::json_type::number:
                sum += cell.get_double();
                break;
            case simdjson::ondemand::json_type::null:
                ++texts;
                break;
            default:
                break;
            }
        }
    }
    return sum + static_cast<double>(texts);
}

double best(int repetitions, const std::function<double()>& run)
{
    double b = 1e100;
    for (int i = 0; i < repetitions; ++i)
        b = std::min(b, run());
    return b;
}

void ratio(const char* name, double value, const char* op, double target)
{
    std::printf("ratio %s = %.3f (target %s %.1f)\n", name, value, op, target);
}

double loadSeconds(const std::string& packet)
{
    TClientDataSet cds(QStringLiteral("cdsCancelaCHT"));
    defineFields(cds);
    return seconds([&] { cds.loadFromPacket(packet); });
}

// Builds the delta packet of one changed row, many times, and returns the time of one build.
double deltaSeconds(const std::string& packet)
{
    TClientDataSet cds(QStringLiteral("cdsCancelaCHT"));
    defineFields(cds);
    cds.loadFromPacket(packet);
    cds.setRecNo(cds.recordCount() / 2 + 1);
    cds.edit();
    cds.fieldByName(QStringLiteral("IDCHTPGTOOK")).setAsString(QStringLiteral("X"));
    cds.post();
    constexpr int kBuilds = 2000;
    std::size_t size = 0;
    const double s = seconds([&] {
        for (int i = 0; i < kBuilds; ++i)
            size += cds.deltaPacket().size();
    });
    if (size == 0)
        std::printf("# empty delta\n");
    return s / kBuilds;
}

} // namespace

int main()
{
    constexpr std::size_t kRows = 100000;
    const std::string packet = chtPacket(kRows, 1);
    const std::string packet200k = chtPacket(2 * kRows, 2);
    const std::string packet10 = chtPacket(10, 3);
    std::printf("# CHT list packet: %zu rows, %zu bytes (%.0f bytes a row)\n", kRows, packet.size(),
                static_cast<double>(packet.size()) / kRows);

    // Loads and bare walks interleaved, so that both see the same machine state.
    double walk = 1e100, load = 1e100, load200k = 1e100, decode = 1e100;
    double sink = 0;
    for (int i = 0; i < 7; ++i) {
        walk = std::min(walk, seconds([&] { sink += bareWalk(packet); }));
        decode = std::min(decode, seconds([&] {
                              sink += static_cast<double>(
                                  cht::wire::decodeDataPacket(packet).rowCount());
                          }));
        load = std::min(load, loadSeconds(packet));
        load200k = std::min(load200k, loadSeconds(packet200k));
    }
    std::printf(
        "# bare walk %.1f ms, decode alone %.1f ms, load %.1f ms, load of 200k rows %.1f ms "
        "(checksum %.0f)\n",
        walk * 1e3, decode * 1e3, load * 1e3, load200k * 1e3, sink);

    // Memory held by a loaded set, the packet text already in memory before and after.
    std::size_t held = 0;
    {
        malloc_trim(0);
        const std::size_t before = heapBytes();
        TClientDataSet cds(QStringLiteral("cdsCancelaCHT"));
        defineFields(cds);
        cds.loadFromPacket(packet);
        held = heapBytes() - before;
        std::printf("# set holds %.1f MB (own accounting %.1f MB)\n",
                    static_cast<double>(held) / 1e6, static_cast<double>(cds.memoryBytes()) / 1e6);
    }

    // Ticking every row with the change log on, as the tick-all pass does.
    const double tick = best(3, [&] {
        TClientDataSet cds(QStringLiteral("cdsCancelaCHT"));
        defineFields(cds);
        cds.loadFromPacket(packet);
        cht::platform::TField& check = cds.fieldByName(QStringLiteral("IDCHECK"));
        const QString s = QStringLiteral("S");
        const double t = seconds([&] {
            cds.first();
            while (!cds.eof()) {
                cds.edit();
                check.setAsString(s);
                cds.post();
                cds.next();
            }
        });
        if (cds.changeCount() != static_cast<int>(kRows))
            std::printf("# tick-all logged %d changes\n", cds.changeCount());
        return t;
    });
    std::printf("# tick-all %.1f ms\n", tick * 1e3);

    const double delta100k = best(
        3, [&] { return deltaSeconds(packet); });
    const double delta10 = best(3, [&] { return deltaSeconds(packet10); });
    std::printf("# delta of one row: %.2f us in 100k rows, %.2f us in 10 rows\n", delta100k * 1e6,
                delta10 * 1e6);

    ratio("load_vs_parse", load / walk, "<=", 2.0);
    ratio("memory_vs_packet", static_cast<double>(held) / static_cast<double>(packet.size()),
          "<=", 1.5);
    ratio("tickall_vs_load", tick / load, "<=", 0.5);
    ratio("delta_1_of_100k_vs_1_of_10", delta100k / delta10, "<=", 1.5);
    ratio("scale_200k_vs_100k", load200k / load, "<=", 2.2);
    return 0;
}
