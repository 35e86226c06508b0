// The filter record on a real filter screen (no server): the status-set encoding both ways, the
// "T" convention, and the checks before a submission with their order and focus.
#include "module/Cli_cot09801.h"
#include "module/contracts/Forms.h"
#include "platform/widgets/TButtonFlat.h"
#include "platform/widgets/TDateEditPlus.h"

#include <QApplication>
#include <QCheckBox>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

#include <array>
#include <memory>

using cht::framework::Application;
using Cli_cot09801::Filtro;

namespace {

class FilterRecord : public ::testing::Test {
protected:
    void SetUp() override
    {
        Filtro = TFiltro{};
        Cli_cot09801::boPrimVez = true; // the showing below keeps the screen definition's state
        Application::SetErrorDisplay([this](const QString& m) { m_messages << m; });
        m_form = std::make_unique<TfrmFiltroCancCHT>();
        m_form->show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(m_form.get()));
    }
    void TearDown() override
    {
        m_form.reset();
        Application::SetErrorDisplay(nullptr);
    }

    std::array<bool, 4> boxes() const
    {
        return {m_form->chbPendente->isChecked(), m_form->chbAprovada->isChecked(),
                m_form->chbRealizada->isChecked(), m_form->chbNFaturada->isChecked()};
    }
    void setBoxes(const std::array<bool, 4>& on)
    {
        m_form->chbPendente->setChecked(on[0]);
        m_form->chbAprovada->setChecked(on[1]);
        m_form->chbRealizada->setChecked(on[2]);
        m_form->chbNFaturada->setChecked(on[3]);
    }
    // Runs a handler as the framework does and returns what reached the error display.
    QStringList run(const std::function<void()>& handler)
    {
        m_messages.clear();
        Application::Dispatch(handler);
        return m_messages;
    }
    void setValidChoices()
    {
        m_form->rbtTCliente->setChecked(true);
        m_form->rbtTFunc->setChecked(true);
        m_form->depCHTIni->setText(QStringLiteral("01/03/2026"));
        m_form->depCHTFin->setText(QStringLiteral("01/03/2026"));
        setBoxes({true, false, false, false});
    }

    std::unique_ptr<TfrmFiltroCancCHT> m_form;
    QStringList m_messages;
};

TEST_F(FilterRecord, ScreenDefinitionStates)
{
    EXPECT_EQ(m_form->windowTitle(), QStringLiteral("Filtro de Gerenciamento de CHT"));
    EXPECT_EQ(m_form->lblCodTela->text(), QStringLiteral("COT09801"));
    EXPECT_TRUE(m_form->rbtTCliente->isChecked());
    EXPECT_TRUE(m_form->rbtTFunc->isChecked());
    EXPECT_FALSE(m_form->btpCliente->Enabled());
    EXPECT_FALSE(m_form->btpFunc->Enabled());
    EXPECT_EQ(m_form->btpCliente->toolTip(), QStringLiteral("Pesquisar"));
    EXPECT_EQ(boxes(), (std::array<bool, 4>{true, false, false, false}));
    EXPECT_EQ(m_form->chbRealizada->text(), QStringLiteral("Faturada"));
    EXPECT_EQ(m_form->chbNFaturada->text(), QStringLiteral("Não Faturar"));
    EXPECT_FALSE(m_form->depCHTIni->SaveTime());
    EXPECT_EQ(m_form->depCHTIni->weekDayNames().value(6), QStringLiteral("Sábado"));
    // The one text with the missing blank is kept as the table has it.
    EXPECT_EQ(m_form->msgPadrao.Msg(QStringLiteral("DtCHTIni_inf")),
              QStringLiteral("Data inicial de geração da CHTdeve ser informada."));
    EXPECT_EQ(m_form->msgPadrao.Msg(QStringLiteral("func_nc")),
              QStringLiteral("Não há funcionário cadastrado."));
}

TEST_F(FilterRecord, EveryStatusSetRoundTrips)
{
    const char letters[] = {'P', 'A', 'R', 'N'};
    for (int mask = 0; mask < 16; ++mask) {
        std::array<bool, 4> on{};
        QString expected = QStringLiteral("_");
        for (int i = 0; i < 4; ++i) {
            on[static_cast<std::size_t>(i)] = (mask >> i) & 1;
            if (on[static_cast<std::size_t>(i)])
                expected += QLatin1Char(letters[i]) + QStringLiteral("_");
        }
        setBoxes(on);
        m_form->Atualiza_Filtro(false);
        EXPECT_EQ(Filtro.Situacao, expected);

        setBoxes({!on[0], !on[1], !on[2], !on[3]});
        m_form->Atualiza_Filtro(true);
        EXPECT_EQ(boxes(), on) << expected.toStdString();
    }
}

TEST_F(FilterRecord, UnknownStatusSetsRestoreNoBox)
{
    m_form->Atualiza_Filtro(false);
    const QString notInTable[] = {
        QString(),
        QStringLiteral("_A_P_"),
        QStringLiteral("_N_R_"),
        QStringLiteral("_p_"),
        QStringLiteral("P"),
        QStringLiteral("_X_"),
        QStringLiteral("_P_A_R_N_X_"),
        QStringLiteral("_P__"),
        QStringLiteral(" _P_"),
    };
    for (const std::array<bool, 4>& before : {std::array<bool, 4>{false, true, false, true},
                                              std::array<bool, 4>{true, true, true, true}}) {
        for (const QString& s : notInTable) {
            setBoxes(before);
            Filtro.Situacao = s;
            m_form->Atualiza_Filtro(true);
            EXPECT_EQ(boxes(), before) << '"' << s.toStdString() << '"';
        }
    }
}

TEST_F(FilterRecord, AllMarkIsAnExactCapitalT)
{
    m_form->stCliente = QStringLiteral("[\"C1\",\"C2\"]");
    m_form->stFunc = QStringLiteral("[\"F1\"]");
    m_form->Atualiza_Filtro(false);
    EXPECT_EQ(Filtro.TodosClientes, QStringLiteral("T"));
    EXPECT_TRUE(Filtro.Clientes.isEmpty()); // "Todos" sends no list, whatever was picked
    EXPECT_EQ(Filtro.TodosFuncs, QStringLiteral("T"));
    EXPECT_TRUE(Filtro.Funcs.isEmpty());

    m_form->Atualiza_Filtro(true);
    EXPECT_TRUE(m_form->stCliente.isEmpty());
    EXPECT_TRUE(m_form->stFunc.isEmpty());

    m_form->rbtLFunc->setChecked(true);
    EXPECT_TRUE(m_form->btpFunc->Enabled());
    m_form->stFunc = QStringLiteral("[\"F1\"]");
    m_form->Atualiza_Filtro(false);
    EXPECT_TRUE(Filtro.TodosFuncs.isEmpty());
    EXPECT_EQ(Filtro.Funcs, QStringLiteral("[\"F1\"]"));

    // Restoring selects the radio button and the selection reacts as a click does.
    Filtro.TodosClientes = QStringLiteral("t");
    Filtro.TodosFuncs = QStringLiteral("T");
    m_form->Atualiza_Filtro(true);
    EXPECT_TRUE(m_form->rbtLCliente->isChecked());
    EXPECT_TRUE(m_form->btpCliente->Enabled());
    EXPECT_TRUE(m_form->rbtTFunc->isChecked());
    EXPECT_FALSE(m_form->btpFunc->Enabled());

    Filtro.TodosClientes = QStringLiteral("T ");
    m_form->rbtTCliente->setChecked(true);
    m_form->Atualiza_Filtro(true);
    EXPECT_TRUE(m_form->rbtLCliente->isChecked());
}

TEST_F(FilterRecord, StoreThenRestoreChangesNothing)
{
    m_form->rbtLCliente->setChecked(true);
    m_form->stCliente = QStringLiteral("[\"a,b\",\"c\\\"d\"]");
    m_form->depCHTIni->setText(QStringLiteral("02/01/2026"));
    m_form->depCHTFin->setText(QStringLiteral("28/02/2026"));
    setBoxes({false, true, true, false});
    m_form->Atualiza_Filtro(false);
    EXPECT_EQ(Filtro.DataIni, m_form->depCHTIni->GetDate());
    EXPECT_EQ(Filtro.DataFin - Filtro.DataIni, 57.0);

    m_form->Atualiza_Filtro(true);
    EXPECT_TRUE(m_form->rbtLCliente->isChecked());
    EXPECT_TRUE(m_form->btpCliente->Enabled());
    EXPECT_TRUE(m_form->rbtTFunc->isChecked());
    EXPECT_EQ(m_form->stCliente, QStringLiteral("[\"a,b\",\"c\\\"d\"]"));
    EXPECT_EQ(m_form->depCHTIni->typedText(), QStringLiteral("02/01/2026"));
    EXPECT_EQ(m_form->depCHTFin->typedText(), QStringLiteral("28/02/2026"));
    EXPECT_EQ(boxes(), (std::array<bool, 4>{false, true, true, false}));
}

TEST_F(FilterRecord, OnlyTheFirstFailingCheckIsReportedWithItsFocus)
{
    struct Case {
        std::function<void()> arrange;
        QString message;
        QWidget* focus;
    };
    const std::vector<Case> cases = {
        {[&] {
             m_form->rbtLCliente->setChecked(true);
             m_form->stCliente = QStringLiteral("  ");
             m_form->rbtLFunc->setChecked(true);
             m_form->depCHTIni->setText({});
             m_form->depCHTFin->setText({});
             setBoxes({});
         },
         QStringLiteral("Cliente deve ser informado."), m_form->btpCliente},
        {[&] {
             m_form->rbtLFunc->setChecked(true);
             m_form->depCHTIni->setText({});
             setBoxes({});
         },
         QStringLiteral("Funcionário deve ser informado."), m_form->btpFunc},
        {[&] {
             m_form->depCHTIni->setText({});
             m_form->depCHTFin->setText({});
         },
         QStringLiteral("Data inicial de geração da CHTdeve ser informada."), m_form->depCHTIni},
        {[&] { m_form->depCHTFin->setText({}); },
         QStringLiteral("Data final de geração da CHT deve ser informada."), m_form->depCHTFin},
        {[&] {
             m_form->depCHTFin->setText(QStringLiteral("28/02/2026"));
             setBoxes({});
         },
         QStringLiteral("Data de geração da CHT inválida. Data inicial deve ser menor ou igual à "
                        "data final."),
         m_form->depCHTIni},
        {[&] { setBoxes({}); }, QStringLiteral("Situação deve ser informada."),
         m_form->chbPendente},
    };
    for (const Case& c : cases) {
        setValidChoices();
        m_form->rbtTCliente->setFocus();
        c.arrange();
        const TFiltro before = Filtro;
        const QStringList shown = run([&] { m_form->sbtConfirmaClick(m_form->sbtConfirma); });
        EXPECT_EQ(shown, QStringList{c.message});
        EXPECT_EQ(QApplication::focusWidget(), c.focus) << c.message.toStdString();
        EXPECT_EQ(Filtro.Situacao, before.Situacao); // nothing stored
        EXPECT_EQ(Filtro.TodosClientes, before.TodosClientes);
        EXPECT_TRUE(m_form->isVisible());
    }

    setValidChoices();
    m_form->rbtLCliente->setChecked(true);
    m_form->stCliente = QStringLiteral("[\"C1\"]");
    EXPECT_TRUE(run([&] { m_form->Vd_Parametros(); }).isEmpty()); // equal dates pass
}

TEST_F(FilterRecord, LeavingTheDatesChecksTheirOrder)
{
    setValidChoices();
    m_form->depCHTIni->setText(QStringLiteral("10/03/2026"));
    m_form->depCHTFin->setText(QStringLiteral("09/03/2026"));
    m_form->depCHTFin->setFocus();
    m_messages.clear();
    m_form->chbAprovada->setFocus(); // focus leaves the date group
    EXPECT_EQ(m_messages, QStringList{QStringLiteral(
                              "Data de geração da CHT inválida. Data inicial deve ser menor ou "
                              "igual à data final.")});
    EXPECT_EQ(QApplication::focusWidget(), m_form->depCHTIni);

    // Moving between the two editors stays inside the group: no order check.
    m_messages.clear();
    m_form->depCHTFin->setFocus();
    EXPECT_TRUE(m_messages.isEmpty());

    m_form->depCHTFin->setText(QStringLiteral("10/03/2026"));
    m_form->chbAprovada->setFocus();
    EXPECT_TRUE(m_messages.isEmpty());
}

} // namespace
