// The filter's client and employee lookups on the host's database and its saved options, on a
// real filter screen (no server) over SQLite and PostgreSQL: masks on screen and codes returned,
// fresh reads, empty tables, a failing read, and the lists in saved option sets.
#include "framework/DialogResponder.h"
#include "module/Cli_cot09801.h"
#include "module/contracts/Corvanta.h"
#include "module/contracts/Forms.h"
#include "platform/widgets/TButtonFlat.h"
#include "platform/wire/KeyList.h"
#include "tests/support/HostDatabase.h"

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSqlQuery>
#include <QTableView>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>

using cht::framework::Application;
using cht::framework::DialogReply;
using cht::framework::DialogRequest;
using cht::framework::DialogResponder;
using cht::framework::dtmDBGeral;
using cht::testing::Backend;
using cht::testing::HostDatabase;
using Cli_cot09801::Filtro;

namespace {

QString keys(const std::vector<std::string>& k)
{
    return QString::fromStdString(cht::wire::encodeKeyList(k));
}

void exec(const QString& sql)
{
    QSqlQuery q(dtmDBGeral::Database());
    ASSERT_TRUE(q.exec(sql)) << sql.toStdString();
}

// What the pick list showed: its title, column titles, and each row's texts by column.
struct Shown {
    QString title;
    QStringList headers;
    std::vector<QStringList> rows;
    int rowHeight = 0;
    std::vector<int> widths;
    int charWidth = 0;
};

Shown readPickList(QDialog* d)
{
    Shown s;
    s.title = d->windowTitle();
    auto* view = d->findChild<QTableView*>("grdLista");
    QAbstractItemModel* m = view->model();
    for (int c = 1; c < m->columnCount(); ++c) {
        s.headers << m->headerData(c, Qt::Horizontal).toString();
        s.widths.push_back(view->columnWidth(c));
    }
    for (int r = 0; r < m->rowCount(); ++r) {
        QStringList texts;
        for (int c = 1; c < m->columnCount(); ++c)
            texts << m->index(r, c).data().toString();
        s.rows.push_back(texts);
    }
    s.charWidth = view->fontMetrics().averageCharWidth();
    return s;
}

// Ticks the rows whose column `column` shows one of `texts`, then presses `button`.
void tickAndPress(QDialog* d, int column, const QStringList& texts, const char* button)
{
    auto* view = d->findChild<QTableView*>("grdLista");
    for (int r = 0; r < view->model()->rowCount(); ++r) {
        if (!texts.contains(view->model()->index(r, column).data().toString()))
            continue;
        const QRect cell = view->visualRect(view->model()->index(r, column));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell.center());
    }
    QTest::mouseClick(d->findChild<QPushButton*>(button), Qt::LeftButton);
}

// Runs the script on the pick list; one that failed must not leave the dialog waiting.
void driveOrGiveUp(QDialog* d, const std::function<void(QDialog*)>& script)
{
    ASSERT_NE(d, nullptr) << "no pick list came up";
    script(d);
    if (d->isVisible())
        d->reject();
}

class FilterLookup : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override
    {
        m_db = std::make_unique<HostDatabase>(GetParam());
        if (!m_db->available()) {
            if (GetParam() == Backend::Postgres)
                GTEST_SKIP() << m_db->error().toStdString();
            FAIL() << m_db->error().toStdString();
        }
        dtmDBGeral::Configure(m_db->url());
        exec("CREATE TABLE CLIENTE (CDCLIENTE VARCHAR(21) NOT NULL PRIMARY KEY, "
             "NRINSJURCLIE VARCHAR(25) NOT NULL, NMFANTCLIE VARCHAR(50) NOT NULL, "
             "IDTPIJURCLIE VARCHAR(1) NOT NULL, NMRAZSOCCLIE VARCHAR(50) NOT NULL)");
        exec("CREATE TABLE FUNCIONARIO (CDFUNC VARCHAR(10) NOT NULL PRIMARY KEY, "
             "NMFUNC VARCHAR(40) NOT NULL)");
        const char* clients[] = {
            "('C1', '11222333000181', 'Alfa Máquinas', 'J', 'Alfa Máquinas Ltda')",
            "('C2', '52998224725', 'Beto Souza', 'F', 'Beto Souza')",
            "('C3', '123', 'Curto', 'J', 'Número Curto Ltda')",
            "('C4', '529.982.247-25', 'Dora Lima', 'F', 'Dora Lima')",
            "('C5', '99888777000166', 'Estrangeira', 'X', 'Estrangeira Inc')",
        };
        for (const char* c : clients)
            exec(QStringLiteral("INSERT INTO CLIENTE VALUES %1").arg(QString::fromUtf8(c)));
        exec("INSERT INTO FUNCIONARIO VALUES ('F1', 'Ana'), ('F2', 'Bruno'), ('F,\"3', 'Caio')");

        Corvanta::SetSession(QStringLiteral("DEMO"), QStringLiteral("127.0.0.1"), 8080);
        Application::SetErrorDisplay([this](const QString& m) { m_messages << m; });
        Filtro = TFiltro{};
        Cli_cot09801::boPrimVez = true;
        m_form = std::make_unique<TfrmFiltroCancCHT>();
        m_form->show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(m_form.get()));
    }
    void TearDown() override
    {
        m_form.reset();
        DialogResponder::clear();
        Application::SetErrorDisplay(nullptr);
        dtmDBGeral::Configure({});
        m_db.reset();
    }

    // Opens the client lookup with "Lista" selected; `onPickList` drives the pick list.
    void lookUpClients(std::function<void(QDialog*)> onPickList)
    {
        m_form->rbtLCliente->setChecked(true);
        DialogResponder::whenModal([onPickList](QDialog* d) { driveOrGiveUp(d, onPickList); });
        m_form->btpCliente->click();
    }
    void lookUpFuncs(std::function<void(QDialog*)> onPickList)
    {
        m_form->rbtLFunc->setChecked(true);
        DialogResponder::whenModal([onPickList](QDialog* d) { driveOrGiveUp(d, onPickList); });
        m_form->btpFunc->click();
    }

    std::unique_ptr<HostDatabase> m_db;
    std::unique_ptr<TfrmFiltroCancCHT> m_form;
    QStringList m_messages;
};

} // namespace

CHT_HOST_DATABASE_SUITE(FilterLookup);

TEST_P(FilterLookup, ClientsShowTheirNumbersThroughTheirMasksAndTheListTakesTheirCodes)
{
    Shown shown;
    lookUpClients([&](QDialog* d) {
        shown = readPickList(d);
        tickAndPress(d, 2, {"Alfa Máquinas", "Beto Souza"}, "btnOK");
    });
    EXPECT_TRUE(m_messages.isEmpty()) << m_messages.join('\n').toStdString();
    EXPECT_EQ(shown.title, QString("Cliente"));
    EXPECT_EQ(shown.headers, QStringList({"Inscrição", "Nome Fantasia", "Razão Social"}));
    std::map<QString, QString> numbers; // trade name -> number shown
    for (const QStringList& row : shown.rows)
        numbers[row[1]] = row[0];
    const std::map<QString, QString> expected = {
        {"Alfa Máquinas", "11.222.333/0001-81"}, // CNPJ
        {"Beto Souza", "529.982.247-25"},        // CPF
        {"Curto", "123"},                        // too short for its mask: as stored
        {"Dora Lima", "529.982.247-25"},         // stored with the literals: as stored
        {"Estrangeira", "99888777000166"},       // a kind without a mask: as stored
    };
    EXPECT_EQ(numbers, expected);

    // The codes, not the numbers, in the rows' order (by the stored number).
    EXPECT_EQ(m_form->stCliente, keys({"C1", "C2"}));
    EXPECT_EQ(Filtro.Clientes, QString()) << "the list reaches Filtro only on confirmation";
}

TEST_P(FilterLookup, EveryOpeningReadsTheTableAfreshAndStartsFromTheListAsItStands)
{
    int first = 0;
    lookUpClients([&](QDialog* d) {
        first = static_cast<int>(readPickList(d).rows.size());
        tickAndPress(d, 2, {"Curto"}, "btnOK");
    });
    exec("INSERT INTO CLIENTE VALUES ('C6', '00000000000191', 'Nova', 'J', 'Nova Ltda')");

    Shown second;
    QStringList ticked;
    lookUpClients([&](QDialog* d) {
        second = readPickList(d);
        auto* view = d->findChild<QTableView*>("grdLista");
        for (int r = 0; r < view->model()->rowCount(); ++r)
            if (view->model()->index(r, 0).data(Qt::CheckStateRole).toInt() == Qt::Checked)
                ticked << view->model()->index(r, 2).data().toString();
        tickAndPress(d, 2, {"Nova"}, "btnOK");
    });
    EXPECT_EQ(first, 5);
    ASSERT_EQ(second.rows.size(), 6u);
    EXPECT_EQ(second.rows.front(), QStringList({"00.000.000/0001-91", "Nova", "Nova Ltda"}));
    EXPECT_EQ(ticked, QStringList({"Curto"}));
    EXPECT_EQ(m_form->stCliente, keys({"C6", "C3"}));
}

TEST_P(FilterLookup, EmployeesShowCodeAndNameAndTheListTakesTheirCodes)
{
    Shown shown;
    lookUpFuncs([&](QDialog* d) {
        shown = readPickList(d);
        tickAndPress(d, 1, {"F,\"3", "F1"}, "btnOK");
    });
    EXPECT_TRUE(m_messages.isEmpty()) << m_messages.join('\n').toStdString();
    EXPECT_EQ(shown.title, QString("Funcionário"));
    EXPECT_EQ(shown.headers, QStringList({"Código", "Nome"}));
    std::map<QString, QString> names; // code -> name
    for (const QStringList& row : shown.rows)
        names[row[0]] = row[1];
    EXPECT_EQ(names,
              (std::map<QString, QString>{{"F,\"3", "Caio"}, {"F1", "Ana"}, {"F2", "Bruno"}}));
    EXPECT_GE(shown.widths[0], 15 * shown.charWidth) << "the code's display width";
    // In the rows' order, which is the database's order of the codes.
    std::vector<std::string> picked = cht::wire::decodeKeyList(m_form->stFunc.toStdString());
    std::sort(picked.begin(), picked.end());
    EXPECT_EQ(picked, (std::vector<std::string>{"F,\"3", "F1"}));
}

TEST_P(FilterLookup, EmptyTablesShowTheirEmptyListTextsAndKeepTheLists)
{
    exec("DELETE FROM CLIENTE");
    exec("DELETE FROM FUNCIONARIO");
    m_form->stCliente = keys({"C1"});
    m_form->stFunc = keys({"F1"});
    DialogResponder::set([](const DialogRequest&) -> std::optional<DialogReply> {
        return DialogReply{cht::framework::mrOk, {}, {}};
    });
    m_form->rbtLCliente->setChecked(true);
    m_form->btpCliente->click();
    m_form->rbtLFunc->setChecked(true);
    m_form->btpFunc->click();
    ASSERT_EQ(DialogResponder::records().size(), 2u);
    EXPECT_EQ(DialogResponder::records()[0].title, QString("Cliente"));
    EXPECT_EQ(DialogResponder::records()[0].text, QString("Não há cliente cadastrado."));
    EXPECT_EQ(DialogResponder::records()[1].title, QString("Funcionário"));
    EXPECT_EQ(DialogResponder::records()[1].text, QString("Não há funcionário cadastrado."));
    EXPECT_EQ(m_form->stCliente, keys({"C1"}));
    EXPECT_EQ(m_form->stFunc, keys({"F1"}));
}

TEST_P(FilterLookup, AFailingReadOrACancelLeavesTheListAsItWas)
{
    m_form->stCliente = keys({"C2"});
    lookUpClients([&](QDialog* d) { tickAndPress(d, 2, {"Alfa Máquinas"}, "btnCancelar"); });
    EXPECT_EQ(m_form->stCliente, keys({"C2"}));

    exec("DROP TABLE CLIENTE");
    bool pickListOpened = false;
    DialogResponder::whenModal(
        [&](QDialog* d) {
            pickListOpened = d != nullptr && d->objectName() == QLatin1String("PesquisaLista");
            if (d != nullptr)
                d->reject();
        },
        300);
    m_form->btpCliente->click();
    QTest::qWait(350);
    EXPECT_FALSE(pickListOpened);
    ASSERT_EQ(m_messages.size(), 1);
    EXPECT_TRUE(m_messages[0].startsWith("Erro ao consultar o banco de dados (qryCliente)"))
        << m_messages[0].toStdString();
    EXPECT_EQ(m_form->stCliente, keys({"C2"}));
}

TEST_P(FilterLookup, SavedOptionsCarryBothListsWhicheverChoiceIsSelected)
{
    const TFiltro before = Filtro;
    m_form->rbtTCliente->setChecked(true);
    m_form->stCliente = keys({"C1", "C4"});
    m_form->stFunc.clear();
    m_form->SaveOptions(QStringLiteral("Dois clientes"));

    m_form->rbtLCliente->setChecked(true);
    m_form->stCliente = keys({"C5"});
    m_form->stFunc = keys({"F2"});
    m_form->LoadOptions(QStringLiteral("Dois clientes"));
    EXPECT_EQ(m_form->stCliente, keys({"C1", "C4"}));
    EXPECT_EQ(m_form->stFunc, QString()) << "an empty list comes back empty";
    // The base's load step restored the choice saved with the set.
    EXPECT_TRUE(m_form->rbtTCliente->isChecked());
    EXPECT_FALSE(m_form->btpCliente->Enabled());
    EXPECT_EQ(Filtro.Clientes, before.Clientes);
    EXPECT_EQ(Filtro.TodosClientes, before.TodosClientes);
    EXPECT_EQ(Filtro.Funcs, before.Funcs);
    EXPECT_TRUE(m_messages.isEmpty()) << m_messages.join('\n').toStdString();

    // Another screen object, as after the host was started again, finds the set.
    m_form = std::make_unique<TfrmFiltroCancCHT>();
    EXPECT_TRUE(m_form->SavedOptionNames().contains(QStringLiteral("Dois clientes")));
    m_form->LoadOptions(QStringLiteral("Dois clientes"));
    EXPECT_EQ(m_form->stCliente, keys({"C1", "C4"}));
}

TEST(FilterLookupDefinition, QueriesAreTheScreenDefinitionsLineByLine)
{
    // Line by line, the last line of the client query a single blank, as the host's other
    // screens keep them; the fields are seen through the lookups above.
    TfrmFiltroCancCHT f;
    EXPECT_EQ(f.qryCliente.SQL,
              QStringList({"SELECT",
                           "   C.CDCLIENTE, C.NRINSJURCLIE, C.NMFANTCLIE, C.IDTPIJURCLIE, "
                           "C.NMRAZSOCCLIE",
                           "FROM", "   CLIENTE C", "ORDER BY", "   C.NRINSJURCLIE", " "}));
    EXPECT_EQ(f.qryFunc.SQL, QStringList({"SELECT", "   CDFUNC, NMFUNC", "FROM", "   FUNCIONARIO",
                                          "ORDER BY", "   CDFUNC"}));
}
