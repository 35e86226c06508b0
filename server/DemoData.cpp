#include "DemoData.h"
#include "Operators.h"
#include "SqlTransaction.h"

#include "CancelaChtService.h"
#include "ChtRepository.h"
#include "SqlDate.h"
#include "StoreError.h"

#include "platform/wire/OleDate.h"

#include <array>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace cht::server {

namespace {

// splitmix64: the same numbers on every machine, unlike the standard distributions.
class Random {
public:
    explicit Random(std::uint64_t seed) : m_state(seed) {}
    std::uint64_t next()
    {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    /// Uniform in [low, high].
    int between(int low, int high)
    {
        auto span = static_cast<std::uint64_t>(high - low + 1);
        return low + static_cast<int>(next() % span);
    }
    bool chance(int percent) { return between(1, 100) <= percent; }
    template <class T, std::size_t N> const T& pick(const std::array<T, N>& items)
    {
        return items[next() % N];
    }

private:
    std::uint64_t m_state;
};

std::string pad(long long value, int width)
{
    std::string s = std::to_string(value);
    while (static_cast<int>(s.size()) < width)
        s.insert(0, 1, '0');
    return s;
}

std::string cnpj(Random& r)
{
    std::array<int, 14> d{};
    for (int i = 0; i < 8; ++i)
        d[static_cast<std::size_t>(i)] = r.between(0, 9);
    d[8] = 0, d[9] = 0, d[10] = 0, d[11] = 1; // head office
    const std::array<int, 13> w = {6, 5, 4, 3, 2, 9, 8, 7, 6, 5, 4, 3, 2};
    for (int k = 12; k <= 13; ++k) {
        int sum = 0;
        for (int i = 0; i < k; ++i)
            sum += d[static_cast<std::size_t>(i)] * w[static_cast<std::size_t>(i + 13 - k)];
        int rest = sum % 11;
        d[static_cast<std::size_t>(k)] = rest < 2 ? 0 : 11 - rest;
    }
    std::string s;
    for (int v : d)
        s += static_cast<char>('0' + v);
    return s;
}

std::string cpf(Random& r)
{
    std::array<int, 11> d{};
    for (int i = 0; i < 9; ++i)
        d[static_cast<std::size_t>(i)] = r.between(0, 9);
    for (int k = 9; k <= 10; ++k) {
        int sum = 0;
        for (int i = 0; i < k; ++i)
            sum += d[static_cast<std::size_t>(i)] * (k + 1 - i);
        int v = (sum * 10) % 11;
        d[static_cast<std::size_t>(k)] = v == 10 ? 0 : v;
    }
    std::string s;
    for (int v : d)
        s += static_cast<char>('0' + v);
    return s;
}

struct Company {
    const char* trade;
    const char* legal;
};

const std::array<Company, 18> kCompanies = {{
    {"Metalúrgica Paulista", "Metalúrgica Paulista Indústria e Comércio Ltda"},
    {"Construtora Horizonte", "Construtora Horizonte Engenharia S.A."},
    {"Agro Vale Verde", "Agropecuária Vale Verde Ltda"},
    {"Transportes Rápido Sul", "Rápido Sul Transportes e Logística Ltda"},
    {"Hospital São Lucas", "Associação Beneficente Hospital São Lucas"},
    {"Supermercados Bom Preço", "Bom Preço Comércio de Alimentos Ltda"},
    {"Têxtil Santa Clara", "Indústria Têxtil Santa Clara S.A."},
    {"Laticínios Serra Azul", "Laticínios Serra Azul Ltda"},
    {"Cerâmica Aurora", "Cerâmica Aurora Revestimentos Ltda"},
    {"Gráfica Estrela", "Gráfica e Editora Estrela Ltda"},
    {"Usina Boa Esperança", "Usina de Açúcar Boa Esperança S.A."},
    {"Mineração Vale do Ouro", "Mineração Vale do Ouro Ltda"},
    {"Celulose Ipê", "Ipê Papel e Celulose S.A."},
    {"Química Atlântico", "Atlântico Indústria Química Ltda"},
    {"Logística Central", "Central Armazéns Gerais e Logística Ltda"},
    {"Cooperativa Campos Gerais", "Cooperativa Agroindustrial Campos Gerais"},
    {"Frigorífico Pampa", "Frigorífico Pampa Alimentos S.A."},
    {"Autopeças Anhanguera", "Anhanguera Comércio de Autopeças Ltda"},
}};

const std::array<const char*, 8> kPeople = {
    "João Pereira da Silva",  "Maria Aparecida Santos",  "Ana Paula Ferreira",
    "Carlos Eduardo Lima",    "Fernanda Oliveira Costa", "Ricardo Gomes Barbosa",
    "Patrícia Rocha Martins", "Luiz Fernando Ribeiro",
};

const std::array<const char*, 30> kEmployees = {
    "André Luiz Carvalho",  "Beatriz Nogueira",    "Bruno Henrique Alves", "Camila Teixeira",
    "Diego Moreira Santos", "Eduarda Cardoso",     "Felipe Augusto Rocha", "Gabriela Mendes",
    "Gustavo Pinheiro",     "Helena Vasconcelos",  "Igor Batista",         "Juliana Freitas",
    "Leonardo Campos",      "Larissa Monteiro",    "Marcelo Azevedo",      "Natália Correia",
    "Otávio Ramos",         "Paula Cristina Dias", "Rafael Siqueira",      "Renata Queiroz",
    "Rodrigo Fontes",       "Sabrina Lacerda",     "Thiago Barros",        "Vanessa Guimarães",
    "Vinícius Araújo",      "Wagner Tavares",      "Yasmin Cavalcanti",    "Sérgio Magalhães",
    "Tatiane Brandão",      "Márcio Conceição",
};

struct ServiceType {
    const char* code;
    const char* name;
};

const std::array<ServiceType, 8> kServiceTypes = {{
    {"001", "Consultoria técnica"},
    {"002", "Manutenção preventiva"},
    {"003", "Manutenção corretiva"},
    {"004", "Instalação de equipamentos"},
    {"005", "Treinamento operacional"},
    {"006", "Suporte técnico em campo"},
    {"007", "Auditoria de processos"},
    {"008", "Desenvolvimento de sistemas"},
}};

const std::array<const char*, 10> kPlaces = {
    "Planta industrial de Sorocaba - SP, galpão 3",
    "Sede administrativa, Av. Paulista, 1500 - São Paulo - SP",
    "Centro de distribuição de Contagem - MG",
    "Fazenda Santa Rita, rodovia GO-060, km 42 - Trindade - GO",
    "Unidade fabril de Joinville - SC, linha de envase",
    "Filial de Recife - PE, Rua da Aurora, 320",
    "Porto de Itajaí - SC, terminal 2",
    "Escritório regional de Curitiba - PR",
    "Usina de Ribeirão Preto - SP, setor de moagem",
    "Hospital, bloco cirúrgico, 4º andar - Porto Alegre - RS",
};

const std::array<const char*, 8> kReferences = {
    "Contrato de manutenção anual das linhas de produção",
    "Implantação do sistema de gestão da qualidade",
    "Suporte ao parque de equipamentos de refrigeração",
    "Modernização da subestação e quadros elétricos",
    "Treinamento das equipes de operação e segurança",
    "Consultoria em eficiência energética",
    "Atendimento emergencial 24 horas",
    "Migração do sistema de faturamento",
};

const std::array<const char*, 10> kActivities = {
    "Visita técnica e levantamento",   "Troca de rolamentos da esteira 2",
    "Calibração de instrumentos",      "Reunião de acompanhamento",
    "Instalação de painel elétrico",   "Treinamento da equipe do turno A",
    "Análise de falhas do compressor", "Ajustes na parametrização",
    "Inspeção de segurança (NR-12)",   "Testes de aceitação com o cliente",
};

const std::array<const char*, 10> kContacts = {
    "Sr. Roberto Almeida", "Sra. Cláudia Nunes",  "Eng. Paulo Sérgio",  "Sra. Débora Lins",
    "Sr. Antônio Marques", "Eng. Luciana Prates", "Sr. Fábio Coutinho", "Sra. Regina Duarte",
    "Sr. Hélio Bastos",    "Sra. Mônica Valente",
};

const std::array<const char*, 6> kJustifications = {
    "Serviço coberto pela garantia do equipamento.",
    "Horas já faturadas no pacote mensal do contrato.",
    "Atendimento cortesia acordado com o gerente da conta.",
    "Retrabalho causado por falha da nossa equipe; não cobrar do cliente.",
    "Visita cancelada pelo cliente após o deslocamento; negociado não faturar.",
    "CHT duplicada: as horas constam em outra CHT do mesmo período.",
};

const std::array<const char*, 6> kClerks = {
    "joana.prado", "marcos.vieira", "ana.lima", "carlos.souza", "maria.alves", "demo",
};

std::int64_t localToday()
{
    return wire::oleDayNumber(CancelaChtService::localNow());
}

double at(std::int64_t day, int minutes)
{
    return static_cast<double>(day) + minutes / 1440.0;
}

double cents(double value)
{
    return std::round(value * 100.0) / 100.0;
}

struct Service {
    std::string proposal, version, type, number, client, manager;
    char billing = 'H';
    double rate = 0;
    int nextSeq = 1;
};

void bindOptionalText(SqlStatement& st, int index, const std::string& value)
{
    if (value.empty())
        st.bindNull(index);
    else
        st.bindText(index, value);
}

} // namespace

const std::vector<std::string>& DemoData::operatorNames()
{
    static const std::vector<std::string> list = {"Operador de demonstração", "Ana Lima",
                                                  "Carlos Souza", "Maria Alves"};
    return list;
}

const std::vector<std::string>& DemoData::operators()
{
    static const std::vector<std::string> list = {"DEMO", "ANA.LIMA", "CARLOS.SOUZA",
                                                  "MARIA.ALVES"};
    return list;
}

DemoData::Summary DemoData::generate(SqlConnection& c, const DemoOptions& options)
{
    {
        auto st = c.prepare("SELECT (SELECT COUNT(*) FROM CHT) + (SELECT COUNT(*) FROM CLIENTE)");
        if (st->step() && st->integer(0) > 0) {
            throw StoreError("O banco já tem dados; a carga de demonstração só é feita em um "
                             "banco vazio.");
        }
    }
    const std::int64_t today = options.today != 0 ? options.today : localToday();
    const int year = wire::civilFromOle(static_cast<double>(today)).year;
    Random r(options.seed);
    Summary summary;
    SqlTransaction tx(c);

    // Clients: two of every three are companies (CNPJ), the others persons (CPF). Client i is
    // managed by operators()[i % 4], so DEMO has clients 1, 5, 9, ...
    std::vector<std::pair<std::string, std::string>> clients; // code, manager
    {
        auto st = c.prepare("INSERT INTO CLIENTE (CDCLIENTE, NRINSJURCLIE, NMFANTCLIE,"
                            " IDTPIJURCLIE, NMRAZSOCCLIE, CDGERENTEIMPCLI) VALUES (?,?,?,?,?,?)");
        std::size_t company = 0;
        std::size_t person = 0;
        for (int i = 0; i < 24; ++i) {
            const bool isPerson = i % 3 == 2;
            std::string code = "C" + pad(i + 1, 5);
            std::string manager = operators()[static_cast<std::size_t>(i) % operators().size()];
            st->reset();
            st->bindText(1, code);
            if (isPerson) {
                const char* name = kPeople[person++ % kPeople.size()];
                st->bindText(2, cpf(r));
                st->bindText(3, name);
                st->bindText(4, "F");
                st->bindText(5, name);
            } else {
                const Company& co = kCompanies[company++ % kCompanies.size()];
                st->bindText(2, cnpj(r));
                st->bindText(3, co.trade);
                st->bindText(4, "J");
                st->bindText(5, co.legal);
            }
            st->bindText(6, manager);
            st->run();
            clients.emplace_back(code, manager);
        }
        summary.clients = clients.size();
    }
    std::vector<std::string> employees;
    {
        auto st = c.prepare("INSERT INTO FUNCIONARIO (CDFUNC, NMFUNC) VALUES (?, ?)");
        for (std::size_t i = 0; i < kEmployees.size(); ++i) {
            std::string code = "F" + pad(static_cast<long long>(i) + 101, 4);
            st->reset();
            st->bindText(1, code);
            st->bindText(2, kEmployees[i]);
            st->run();
            employees.push_back(code);
        }
        summary.employees = employees.size();
    }
    {
        auto st = c.prepare("INSERT INTO TIPOSERV (CDTIPOSERV, NMTIPOSERV) VALUES (?, ?)");
        for (const auto& t : kServiceTypes) {
            st->reset();
            st->bindText(1, t.code);
            st->bindText(2, t.name);
            st->run();
        }
    }

    // Proposals with one or two versions, each with one to three services.
    std::vector<Service> services;
    {
        auto prop = c.prepare("INSERT INTO PROPOSTA (NRPROPOSFAS, NRVERPROPFAS, CDCLIENTE,"
                              " CDEMPRESA, DSREFEPROPOSFAS, IDTIPOPROPFAS, IDTIPOCOBRCONT,"
                              " DSLOCALCONT) VALUES (?,?,?,?,?,?,?,?)");
        auto serv = c.prepare("INSERT INTO SERVCONT (NRPROPOSFAS, NRVERPROPFAS, CDTIPOSERV,"
                              " NRSERVCONT, IDTIPOCOBRSERV, VRHORASERV) VALUES (?,?,?,?,?,?)");
        auto parc = c.prepare("INSERT INTO VENCSERVCLIE (NRPROPOSFAS, NRVERPROPFAS, NRPARCELA,"
                              " DTVENCSERVCLIE, VRVENCSERVCLIE) VALUES (?,?,?,?,?)");
        const std::array<const char*, 3> kinds = {"L", "M", "S"};
        const std::array<const char*, 3> billings = {"H", "P", "F"};
        int sequence = 120;
        for (const auto& [client, manager] : clients) {
            const int proposals = r.between(1, 3);
            for (int p = 0; p < proposals; ++p) {
                std::string number = std::to_string(year) + pad(sequence, 6);
                sequence += r.between(1, 17);
                const int versions = r.between(1, 2);
                for (int v = 1; v <= versions; ++v) {
                    std::string version = pad(v, 2);
                    prop->reset();
                    prop->bindText(1, number);
                    prop->bindText(2, version);
                    prop->bindText(3, client);
                    prop->bindText(4, r.chance(70) ? "01" : "02");
                    prop->bindText(5, r.pick(kReferences));
                    prop->bindText(6, r.pick(kinds));
                    prop->bindText(7, r.pick(billings));
                    prop->bindText(8, r.pick(kPlaces));
                    prop->run();
                    ++summary.proposals;
                    bool hasParcels = false;
                    const int count = r.between(1, 3);
                    for (int s = 1; s <= count; ++s) {
                        Service service;
                        service.proposal = number;
                        service.version = version;
                        service.type =
                            kServiceTypes[static_cast<std::size_t>(r.between(0, 7))].code;
                        service.number = pad(s, 3);
                        service.client = client;
                        service.manager = manager;
                        const int b = r.between(1, 100);
                        service.billing = b <= 50 ? 'H' : (b <= 75 ? 'P' : 'F');
                        service.rate = cents(r.between(9500, 32000) / 100.0);
                        serv->reset();
                        serv->bindText(1, number);
                        serv->bindText(2, version);
                        serv->bindText(3, service.type);
                        serv->bindText(4, service.number);
                        serv->bindText(5, std::string(1, service.billing));
                        serv->bindDouble(6, service.rate);
                        serv->run();
                        hasParcels = hasParcels || service.billing == 'P';
                        services.push_back(std::move(service));
                    }
                    if (hasParcels) {
                        const int parcels = r.between(3, 6);
                        const double value = cents(r.between(150000, 2200000) / 100.0);
                        const std::int64_t first = today - r.between(30, 75);
                        for (int n = 1; n <= parcels; ++n) {
                            parc->reset();
                            parc->bindText(1, number);
                            parc->bindText(2, version);
                            parc->bindInt(3, n);
                            parc->bindText(4, sqldate::fromDay(first + 30 * (n - 1)));
                            parc->bindDouble(5, value);
                            parc->run();
                            ++summary.parcels;
                        }
                    }
                }
            }
        }
        summary.services = services.size();
    }
    std::vector<std::size_t> demoServices;
    for (std::size_t i = 0; i < services.size(); ++i)
        if (services[i].manager == "DEMO")
            demoServices.push_back(i);

    // PostgreSQL keeps each CHT's CDA dates by a trigger that updates the CHT once per CDA: in
    // one long transaction those updates pile up versions of the same rows, and the load grows
    // with the square of its size. The dates are set once at the end instead.
    const bool pg = c.dialect() == Dialect::Postgres;
    // Likewise each row's references, checked one by one, made the load grow faster than its
    // size: the keys of CHT and CDA are dropped for the load and added back at the end, where
    // PostgreSQL checks every row at once. All of it in this transaction: nothing is ever
    // committed without them.
    std::vector<std::array<std::string, 3>> references; // table, name, definition
    if (pg) {
        c.exec("ALTER TABLE CDA DISABLE TRIGGER CDA_DATAS_CHT");
        auto st = c.prepare("SELECT C.CONRELID::REGCLASS::TEXT, C.CONNAME,"
                            " PG_GET_CONSTRAINTDEF(C.OID) FROM PG_CONSTRAINT C"
                            " WHERE C.CONTYPE = 'f' AND C.CONRELID IN"
                            " ('CHT'::REGCLASS, 'CDA'::REGCLASS) ORDER BY C.OID");
        while (st->step())
            references.push_back(
                {std::string(st->text(0)), std::string(st->text(1)), std::string(st->text(2))});
        for (const auto& [table, name, definition] : references)
            c.exec("ALTER TABLE " + table + " DROP CONSTRAINT \"" + name + "\"");
    }
    // Run once a row: prepared once, so that PostgreSQL does not parse them for every row.
    SqlStatement* cht = &c.cached(
        "INSERT INTO CHT (NRPROPOSFAS, NRVERPROPFAS, CDTIPOSERV, NRSERVCONT, NRSEQUCHT, CDFUNC,"
        " DTINCLCHT, IDSTATUSCHT, NRLANCTONF, NRINVOICE, DSALTERACAOCHT, QTHRAPROFATUCHT, VRFATU,"
        " IDCHTPGTOOK, IDCHTASSINADA, IDCDAOK) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
    SqlStatement* cda = &c.cached(
        "INSERT INTO CDA (NRPROPOSFAS, NRVERPROPFAS, CDTIPOSERV, NRSERVCONT, CDFUNC, NRSEQUCHT,"
        " IDSITSERVPREST, DSREFERENCIA, DTSERVPREST, DTHRENTR1TUR, DTHRSAID1TUR, NMINTCLIENTE,"
        " QTMINTOTAL, QTMINDESLOCFAT, QTMINNFATU, QTMINAPROFATU, QTMINAPRCOMIS, NMOPERINC,"
        " IDASSINATURACLIENTE, IDORIGINALENTREGUE) VALUES "
        "(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
    const std::array<const char*, 4> situations = {"", "P", "C", "R"};
    // The first CHTs are DEMO's pending ones of today, so that the filter's defaults list rows.
    const std::size_t demoToday =
        std::min<std::size_t>(options.chts, std::max<std::size_t>(12, options.chts / 50));
    int invoice = 4100;
    for (std::size_t n = 0; n < options.chts; ++n) {
        const bool forced = n < demoToday && !demoServices.empty();
        Service& s = forced ? services[demoServices[n % demoServices.size()]]
                            : services[r.next() % services.size()];
        const std::string& employee = employees[r.next() % employees.size()];
        int age = forced ? 0 : (r.chance(20) ? r.between(0, 3) : r.between(0, 120));
        std::string status;
        if (forced) {
            status = "P";
        } else {
            const int roll = r.between(1, 100);
            if (age <= 3)
                status = roll <= 70 ? "P" : (roll <= 85 ? "A" : (roll <= 95 ? "N" : "R"));
            else if (age <= 20)
                status = roll <= 40 ? "P" : (roll <= 70 ? "A" : (roll <= 82 ? "N" : "R"));
            else
                status = roll <= 10 ? "P" : (roll <= 35 ? "A" : (roll <= 50 ? "N" : "R"));
        }
        const std::int64_t day = today - age;
        const std::string seq = pad(s.nextSeq++, 5);

        // The CDAs: consecutive days before the generation day.
        const int days = r.between(1, 5);
        std::int64_t billed = 0;
        bool allOk = true;
        struct Cda {
            std::int64_t day;
            int in, out, travel, unbilled, commission;
            std::string situation, signature, delivered;
            const char* activity;
            const char* contact;
            const char* clerk;
        };
        std::vector<Cda> cdas;
        for (int d = 0; d < days; ++d) {
            Cda x{};
            x.day = day - (days - d) - r.between(0, 1);
            x.in = r.between(7 * 60 + 30, 9 * 60 + 30);
            x.out = x.in + r.between(5 * 60, 10 * 60);
            x.travel = r.chance(40) ? r.between(2, 12) * 10 : 0;
            x.unbilled = r.chance(25) ? r.between(1, 6) * 15 : 0;
            x.commission = r.chance(30) ? r.between(1, 8) * 15 : 0;
            x.situation = status == "P" ? situations[r.next() % situations.size()] : "R";
            auto mark = [&r] {
                const int m = r.between(1, 100);
                return std::string(m <= 70 ? "S" : (m <= 90 ? "N" : "X"));
            };
            x.signature = mark();
            x.delivered = mark();
            x.activity = r.pick(kActivities);
            x.contact = r.pick(kContacts);
            x.clerk = r.pick(kClerks);
            allOk = allOk && x.signature == "S" && x.delivered != "N";
            billed += (x.out - x.in - 60) - x.unbilled;
            cdas.push_back(x);
        }
        double value = 0;
        if (s.billing == 'H')
            value = cents(static_cast<double>(billed) / 60.0 * s.rate);
        else if (s.billing == 'P')
            value = cents(r.between(80000, 600000) / 100.0);
        else
            value = cents(r.between(120000, 950000) / 100.0);
        cht->reset();
        cht->bindText(1, s.proposal);
        cht->bindText(2, s.version);
        cht->bindText(3, s.type);
        cht->bindText(4, s.number);
        cht->bindText(5, seq);
        cht->bindText(6, employee);
        cht->bindText(7, sqldate::fromOle(at(day, r.between(8 * 60, 18 * 60 + 59))));
        cht->bindText(8, status);
        if (status == "R") {
            cht->bindText(9, pad(invoice++, 6));
            bindOptionalText(*cht, 10, r.chance(25) ? "EXP-" + pad(invoice % 10000, 4) : "");
        } else {
            cht->bindNull(9);
            cht->bindNull(10);
        }
        bindOptionalText(*cht, 11, status == "N" ? r.pick(kJustifications) : "");
        cht->bindText(12, ChtRepository::hoursText(billed));
        cht->bindDouble(13, value);
        const bool done = status == "R" || status == "A";
        cht->bindText(14, done && r.chance(80) ? "S" : (r.chance(30) ? "S" : "N"));
        cht->bindText(15, done && r.chance(85) ? "S" : (r.chance(40) ? "S" : "N"));
        cht->bindText(16, allOk ? "S" : "N");
        cht->run();
        ++summary.chts;

        for (const Cda& x : cdas) {
            cda->reset();
            cda->bindText(1, s.proposal);
            cda->bindText(2, s.version);
            cda->bindText(3, s.type);
            cda->bindText(4, s.number);
            cda->bindText(5, employee);
            cda->bindText(6, seq);
            cda->bindText(7, x.situation);
            cda->bindText(8, x.activity);
            cda->bindText(9, sqldate::fromDay(x.day));
            cda->bindText(10, sqldate::fromOle(at(x.day, x.in)));
            cda->bindText(11, sqldate::fromOle(at(x.day, x.out)));
            cda->bindText(12, x.contact);
            cda->bindInt(13, x.out - x.in - 60);
            cda->bindInt(14, x.travel);
            cda->bindInt(15, x.unbilled);
            cda->bindInt(16, x.out - x.in - 60 - x.unbilled);
            cda->bindInt(17, x.commission);
            cda->bindText(18, x.clerk);
            cda->bindText(19, x.signature);
            cda->bindText(20, x.delivered);
            cda->run();
            ++summary.cdas;
        }
    }
    // The demo operators sign in with the demo password.
    const std::string hash = Credentials::hashPassword(kDemoPassword, options.passwordCost);
    for (std::size_t i = 0; i < operators().size(); ++i)
        Operators::put(c, operators()[i], operatorNames()[i], hash);
    if (pg) {
        const char* key = "NRPROPOSFAS, NRVERPROPFAS, CDTIPOSERV, NRSERVCONT, NRSEQUCHT, CDFUNC";
        c.exec(std::string("UPDATE CHT C SET DTINICIOCDA = D.FIRST, DTFIMCDA = D.LAST FROM"
                           " (SELECT ") +
               key + ", MIN(DTSERVPREST) AS FIRST, MAX(DTSERVPREST) AS LAST FROM CDA GROUP BY " +
               key +
               ") D WHERE C.NRPROPOSFAS = D.NRPROPOSFAS AND C.NRVERPROPFAS = D.NRVERPROPFAS"
               " AND C.CDTIPOSERV = D.CDTIPOSERV AND C.NRSERVCONT = D.NRSERVCONT"
               " AND C.NRSEQUCHT = D.NRSEQUCHT AND C.CDFUNC = D.CDFUNC");
        c.exec("ALTER TABLE CDA ENABLE TRIGGER CDA_DATAS_CHT");
        for (const auto& [table, name, definition] : references)
            c.exec("ALTER TABLE " + table + " ADD CONSTRAINT \"" + name + "\" " + definition);
    }
    tx.commit();
    // A bulk load leaves the visibility of every new row unsettled on PostgreSQL: the first reads
    // would write hint bits and autovacuum would go over it all while the demo is in use. Settled
    // here, with fresh statistics, as an administrator does after a load: the tables loaded
    // only, not those of other schemas that share the database.
    if (c.dialect() == Dialect::Postgres) {
        c.exec("VACUUM ANALYZE CLIENTE, FUNCIONARIO, TIPOSERV, PROPOSTA, SERVCONT, VENCSERVCLIE,"
               " CHT, CDA");
    }
    return summary;
}

} // namespace cht::server
