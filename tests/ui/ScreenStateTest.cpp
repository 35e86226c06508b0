// The command-state rule over the whole enabled-state table, on rows loaded from a packet, its
// re-evaluation on activation, and the screen's definition: texts, hints, shortcuts, fields.
#include "ScreenTestSupport.h"

#include "module/contracts/PageControl98.h"
#include "platform/widgets/TButtonFlat.h"
#include "platform/widgets/TDBGrid.h"
#include "platform/widgets/TDBText.h"
#include "platform/wire/ChtListColumns.h"

#include <QAction>
#include <QLabel>
#include <QMenu>

#include <gtest/gtest.h>

using namespace screen_test;

namespace {

// What the rule decides, control by control (each menu item must match its control).
struct Expected {
    bool grid, confirma, justificativa, vencimento, base2, base4, base5;
};

class CommandState : public OpenScreenTest {
protected:
    void expectStates(const Expected& e, const char* where)
    {
        SCOPED_TRACE(where);
        TfrmCancelaCHT& s = *screen;
        EXPECT_EQ(s.dbgPadrao->isEnabled(), e.grid);
        for (auto [button, menu] : {std::pair{s.sbtConfirmaCHT, s.mnuConfirmaCHT},
                                    std::pair{s.sbtCancelaCHT, s.mnuCancelaCHT},
                                    std::pair{s.sbtNaoFaturar, s.mnuNaoFaturar}}) {
            EXPECT_EQ(button->Enabled(), e.confirma) << button->objectName().toStdString();
            EXPECT_EQ(menu->isEnabled(), e.confirma) << menu->objectName().toStdString();
        }
        EXPECT_EQ(s.sbtJustificativa->Enabled(), e.justificativa);
        EXPECT_EQ(s.mnuJustificativa->isEnabled(), e.justificativa);
        EXPECT_EQ(s.sbtVencimento->Enabled(), e.vencimento);
        EXPECT_EQ(s.mnuVencimento->isEnabled(), e.vencimento);
        for (int n : {1, 3}) {
            EXPECT_FALSE(s.BaseActionButton(n)->Enabled()) << "base action " << n;
            EXPECT_FALSE(s.BaseActionMenu(n)->isEnabled()) << "base action " << n;
        }
        EXPECT_FALSE(s.BaseMenuItem(6)->isEnabled());
        EXPECT_FALSE(s.BaseMenuItem(7)->isEnabled());
        EXPECT_EQ(s.BaseActionButton(2)->Enabled(), e.base2);
        EXPECT_EQ(s.BaseActionMenu(2)->isEnabled(), e.base2);
        EXPECT_EQ(s.BaseActionButton(4)->Enabled(), e.base4);
        EXPECT_EQ(s.BaseActionMenu(4)->isEnabled(), e.base4);
        EXPECT_EQ(s.BaseActionButton(5)->Enabled(), e.base5);
        EXPECT_EQ(s.BaseActionMenu(5)->isEnabled(), e.base5);
        // Never touched by the rule.
        EXPECT_TRUE(s.sbtFiltro->Enabled());
    }

    void activate() { reactivate(*screen); }
};

constexpr Expected kClosed{false, false, false, false, false, false, false};
constexpr Expected kEmpty{false, false, false, false, false, false, true};

TEST_F(CommandState, FreshScreenHasOnlyTheFilterEnabled)
{
    activate();
    expectStates(kClosed, "closed list");
}

TEST_F(CommandState, EmptyLoadEnablesOnlyTheVerifyCommand)
{
    load(*screen, *server, {});
    EXPECT_TRUE(screen->cdsCancelaCHT.active());
    expectStates(kEmpty, "open and empty");
}

TEST_F(CommandState, BrowsingFollowsTheCurrentRow)
{
    load(*screen, *server,
         {{QStringLiteral("1"), QStringLiteral("N"), QStringLiteral("P")},
          {QStringLiteral("2"), QStringLiteral("A"), QStringLiteral("p")},
          {QStringLiteral("3"), QStringLiteral("P"), QString()},
          {QStringLiteral("4"), QStringLiteral("n"), QStringLiteral("P")}});
    expectStates({true, true, true, true, true, true, true}, "status N, billing P");
    screen->cdsCancelaCHT.next();
    expectStates({true, true, false, false, true, true, true}, "status A, billing p");
    screen->cdsCancelaCHT.next();
    expectStates({true, true, false, false, true, true, true}, "status P, billing empty");
    screen->cdsCancelaCHT.next();
    expectStates({true, true, false, true, true, true, true}, "status n, billing P");
}

TEST_F(CommandState, RowEditKeepsOnlyGridAndJustification)
{
    load(*screen, *server,
         {{QStringLiteral("1"), QStringLiteral("N"), QStringLiteral("P")},
          {QStringLiteral("2"), QStringLiteral("A"), QStringLiteral("P")}});
    screen->cdsCancelaCHT.edit();
    expectStates({true, false, true, false, false, false, false}, "edit on a row in status N");
    screen->cdsCancelaCHT.cancel();
    expectStates({true, true, true, true, true, true, true}, "back to browsing");

    screen->cdsCancelaCHT.next();
    screen->cdsCancelaCHT.edit();
    expectStates({true, false, false, false, false, false, false}, "edit on a row in status A");
    screen->cdsCancelaCHT.cancel();
}

TEST_F(CommandState, ActivationReevaluatesEveryState)
{
    load(*screen, *server, {});
    for (auto* b : {screen->sbtConfirmaCHT, screen->sbtJustificativa, screen->sbtVencimento})
        b->setEnabled(true);
    screen->mnuConfirmaCHT->setEnabled(true);
    screen->dbgPadrao->setEnabled(true);
    screen->BaseActionButton(1)->setEnabled(true);
    activate();
    expectStates(kEmpty, "after reactivation");
}

TEST_F(CommandState, SuspendedReactionsLeaveTheStatesAlone)
{
    load(*screen, *server, {{QStringLiteral("1"), QStringLiteral("N"), QStringLiteral("P")}});
    screen->suspendListReactions();
    screen->cdsCancelaCHT.edit();
    EXPECT_TRUE(screen->sbtConfirmaCHT->Enabled());
    screen->cdsCancelaCHT.cancel();
    screen->reattachListReactions();
    screen->cdsCancelaCHT.edit();
    EXPECT_FALSE(screen->sbtConfirmaCHT->Enabled());
    screen->cdsCancelaCHT.cancel();
}

class Definition : public CommandState {};

TEST_F(Definition, MessageTablesHoldTheExactTexts)
{
    const auto& p = screen->msgPadrao;
    EXPECT_EQ(p.Msg("Excl"), QStringLiteral("Confirma exclusão?"));
    EXPECT_EQ(p.Msg("cht_sel"), QStringLiteral("Não há CHT selecionada para exclusão."));
    EXPECT_EQ(p.Msg("cht_sel_conf"), QStringLiteral("Não há CHT selecionada para aprovação."));
    EXPECT_EQ(p.Msg("Marca_NReal"),
              QStringLiteral("CHTs devem ser informadas para que seja(m) marcada(s) como "
                             "\"Não faturar\"."));
    EXPECT_EQ(p.Msg("PENDENTE"), QStringLiteral("Pendente"));
    EXPECT_EQ(p.Msg("CONFIRMADA"), QStringLiteral("Confirmada"));
    EXPECT_EQ(p.Msg("CHT_GERADA"), QStringLiteral("CHT Gerada"));
    EXPECT_EQ(p.Msg("sim"), QStringLiteral("Sim"));
    EXPECT_EQ(p.Msg("nao"), QStringLiteral("Não"));
    EXPECT_EQ(p.Msg("L"), QStringLiteral("Locação"));
    EXPECT_EQ(p.Msg("M"), QStringLiteral("LU/Manutenção"));
    EXPECT_EQ(p.Msg("S"), QStringLiteral("Serviço"));
    EXPECT_EQ(p.Msg("H"), QStringLiteral("Vr.Hora"));
    EXPECT_EQ(p.Msg("P"), QStringLiteral("Vr.Pacote"));
    EXPECT_EQ(p.Msg("F"), QStringLiteral("Vr.Fixo"));
    EXPECT_EQ(p.Lines.size(), 15);

    const auto& m = screen->msgMensagensPadroes;
    EXPECT_EQ(m.Msg("Excl"), QStringLiteral("Confirma exclusão?"));
    EXPECT_EQ(m.Msg("Canc"), QStringLiteral("Cancelar operação?"));
    EXPECT_EQ(m.Msg("Conf_NFatu"),
              QStringLiteral("Deseja marcar as CHTs selecionadas como \"Não faturadas\"?"));
    EXPECT_EQ(m.Msg("Canc_CHT"), QString::fromUtf8("Deseja excluir as CHT\xC2\xB4s selecionadas?"));
    EXPECT_EQ(m.Lines.size(), 4);
}

TEST_F(Definition, ToolBarMenusAndPanel)
{
    TfrmCancelaCHT& s = *screen;
    EXPECT_EQ(s.windowTitle(), QStringLiteral("Gerenciamento de CHT"));
    EXPECT_EQ(s.lblCodTela->text(), QStringLiteral("COT09800"));

    struct B {
        cht::platform::TButtonFlat* b;
        int left;
        const char* hint;
    };
    for (const B& b : {B{s.sbtFiltro, 181, "Filtrar"}, B{s.sbtConfirmaCHT, 216, "Aprovar CHT"},
                       B{s.sbtNaoFaturar, 237, "Marcar CHT para não faturar"},
                       B{s.sbtCancelaCHT, 258, "Excluir CHT"},
                       B{s.sbtJustificativa, 294, "Consultar Justificativa"},
                       B{s.sbtVencimento, 323, "Consultar Vencimentos"}}) {
        EXPECT_EQ(b.b->geometry(), QRect(b.left, 4, 21, 21)) << b.hint;
        EXPECT_EQ(b.b->toolTip(), QString::fromUtf8(b.hint));
        EXPECT_FALSE(b.b->icon().isNull()) << b.hint;
    }
    EXPECT_EQ(s.sbtImprimir->x(), 352);
    EXPECT_EQ(s.sbtAjuda->x(), 388);
    EXPECT_EQ(s.sbtFechar->x(), 424);
    EXPECT_EQ(s.sbtVencimento->groupIndex(), 1);
    EXPECT_TRUE(s.sbtVencimento->AllowAllUp());
    EXPECT_FALSE(s.sbtVencimento->Down());
    for (QLabel* img : {s.imgCheck, s.imgNoCheck, s.imgUnCheck, s.imgOk, s.imgNOk}) {
        EXPECT_TRUE(img->isHidden());
        const QImage pic = img->pixmap().toImage();
        EXPECT_EQ(pic.size(), QSize(16, 16));
        EXPECT_EQ(pic.pixelColor(0, 0), QColor(128, 128, 0)); // the key colour around the picture
    }

    // Ours at the top of the operations menu, in order; the base's own items after them.
    const QList<QAction*> op = s.mnuOperacao->actions();
    ASSERT_GE(op.size(), 7);
    const QList<QAction*> ours{s.mnuConfirmaCHT,
                               s.mnuNaoFaturar,
                               s.mnuCancelaCHT,
                               s.mnuLinha,
                               s.mnuJustificativa,
                               s.mnuVencimento,
                               s.N1};
    EXPECT_EQ(op.mid(0, 7), ours);
    const QList<QAction*> man = s.mnuManutencao->actions();
    ASSERT_GE(man.size(), 2);
    EXPECT_EQ(man.at(man.size() - 2), s.N2);
    EXPECT_EQ(man.last(), s.Filtrar1);
    EXPECT_TRUE(s.mnuLinha->isSeparator() && s.N1->isSeparator() && s.N2->isSeparator());

    struct M {
        QAction* a;
        const char* caption;
        const char* keys;
    };
    for (const M& m : {M{s.mnuConfirmaCHT, "C&onfirmar CHT", "Ctrl+O"},
                       M{s.mnuNaoFaturar, "&Não Faturar", "Ctrl+N"},
                       M{s.mnuCancelaCHT, "C&ancelar CHT", "Ctrl+A"},
                       M{s.mnuJustificativa, "Consultar &Justificativa", "Ctrl+J"},
                       M{s.mnuVencimento, "Consultar V&encimentos", "Ctrl+E"},
                       M{s.Filtrar1, "&Filtrar", "Ctrl+L"}}) {
        EXPECT_EQ(m.a->text(), QString::fromUtf8(m.caption));
        EXPECT_EQ(m.a->shortcut(), QKeySequence(QString::fromLatin1(m.keys))) << m.caption;
    }

    EXPECT_EQ(s.pgcPadrao->count(), 2);
    EXPECT_EQ(s.pgcPadrao->tabText(s.pgcPadrao->indexOf(s.tshPadrao)), QStringLiteral("CHT"));
    EXPECT_EQ(s.pgcPadrao->tabText(s.pgcPadrao->indexOf(s.tshCSA)), QStringLiteral("CDA"));
    EXPECT_TRUE(s.dbgVencParcela->isHidden());
    EXPECT_EQ(s.panCHT->height(), 56);

    EXPECT_EQ(s.lblHrNormal->text(), QStringLiteral("Hora Faturada "));
    EXPECT_EQ(s.lblValorFaturar->text(), QStringLiteral("Valor a Faturar"));
    EXPECT_EQ(s.lblNotaFisc->text(), QStringLiteral("Nº Nota Fiscal"));
    EXPECT_EQ(s.lblInvoice->text(), QStringLiteral("Invoice"));
    EXPECT_EQ(s.dbtHrNormal->dataField(), QStringLiteral("QTHRAPROFATUCHT"));
    EXPECT_EQ(s.dbtVrFaturar->dataField(), QStringLiteral("VRFATU"));
    EXPECT_EQ(s.dbtNotaFiscal->dataField(), QStringLiteral("NRLANCTONF"));
    EXPECT_EQ(s.dbtInvoice->dataField(), QStringLiteral("NRINVOICE"));
    EXPECT_EQ(s.dbtNome->dataField(), QStringLiteral("NMFANTCLIE"));

    struct L {
        QLabel* img;
        int left;
        QLabel* lbl;
        int lblLeft;
        const char* text;
    };
    for (const L& l : {L{s.imgAmarelo, 369, s.Label3, 394, "Pendente"},
                       L{s.imgAzul, 477, s.lblNaoAprovada, 503, "Aprovada"},
                       L{s.imgVerde, 585, s.Label2, 608, "Faturada"},
                       L{s.imgCinza, 679, s.Label4, 705, "Não faturar"}}) {
        EXPECT_EQ(l.img->pos(), QPoint(l.left, 37)) << l.text;
        EXPECT_EQ(l.lbl->pos(), QPoint(l.lblLeft, 39)) << l.text;
        EXPECT_EQ(l.lbl->text(), QString::fromUtf8(l.text));
        EXPECT_TRUE(l.lbl->font().bold());
        const QImage ball = l.img->pixmap().toImage();
        EXPECT_EQ(ball.size(), QSize(17, 17));
        EXPECT_EQ(ball.pixelColor(0, 0).alpha(), 0) << "key colour shown transparent";
    }
}

TEST_F(Definition, ListFieldsInDefinitionOrder)
{
    // The packet's fields as the server sends them, in their order.
    const auto& c = screen->cdsCancelaCHT;
    const auto& columns = cht::wire::kChtListColumns;
    ASSERT_EQ(c.fieldCount(), 32);
    for (int i = 0; i < 32; ++i) {
        const cht::wire::ChtListColumn& column = columns[static_cast<std::size_t>(i)];
        EXPECT_EQ(c.field(i).fieldName(), QString::fromLatin1(column.name)) << i;
        EXPECT_EQ(c.field(i).dataType(), column.type) << i;
        EXPECT_EQ(c.field(i).size(), static_cast<int>(column.size)) << i;
    }
    EXPECT_EQ(screen->cdsCancelaCHTDSALTERACAOCHT->size(), 2000);
    EXPECT_EQ(screen->cdsCancelaCHTCDCLIENTE->size(), 21);
    EXPECT_FALSE(screen->cdsCancelaCHTIDCHECK->visible);
    EXPECT_TRUE(screen->cdsCancelaCHTNMFANTCLIE->visible);
    EXPECT_EQ(screen->cdsCancelaCHTNRLANCTONF->displayLabel, QStringLiteral("Nº Nota Fiscal"));
    EXPECT_EQ(screen->cdsCancelaCHTVRFATU->dataType(), cht::wire::FieldType::Float);
    EXPECT_EQ(screen->cdsCancelaCHTVRFATU->displayFormat, QStringLiteral("#,###,##0.00"));
    EXPECT_EQ(screen->cdsCancelaCHTDTINCLCHT->dataType(), cht::wire::FieldType::DateTime);

    ASSERT_EQ(screen->cdsChave.fieldCount(), 6);
    EXPECT_EQ(screen->cdsChaveNRSEQUCHT->displayLabel, QStringLiteral("CHT"));
    EXPECT_EQ(screen->cdsChave.field(5).fieldName(), QStringLiteral("CDFUNC"));
    EXPECT_EQ(screen->cdsDataSYSDATE->dataType(), cht::wire::FieldType::DateTime);
    ASSERT_EQ(screen->cdsConsultaCSA.fieldCount(), 16);
    EXPECT_EQ(screen->cdsConsultaCSA.field(15).fieldName(), QStringLiteral("IDORIGINALENTREGUE"));
    EXPECT_EQ(screen->cdsVencParcelaVRVENCSERVCLIE->displayFormat, QStringLiteral("#,###,##0.00"));
    ASSERT_EQ(screen->dbgPadrao->columnCount(), 17);
    EXPECT_EQ(screen->dbgPadrao->column(7).fieldName(), QStringLiteral("IDCHTASSINADA"));
}

TEST_F(Definition, CodedFieldsShowTheirTableTexts)
{
    load(*screen, *server, {{QStringLiteral("1"), QStringLiteral("A"), QStringLiteral("P")}});
    auto& c = screen->cdsCancelaCHT;
    screen->suspendListReactions();
    c.edit();
    screen->cdsCancelaCHTIDTIPOCOBRCONT->setAsString(QStringLiteral("H"));
    screen->cdsCancelaCHTIDTIPOPROPFAS->setAsString(QStringLiteral("M"));
    screen->cdsCancelaCHTIDCHTASSINADA->setAsString(QStringLiteral("N"));
    EXPECT_EQ(screen->cdsCancelaCHTIDTIPOCOBRCONT->displayText(), QStringLiteral("Vr.Hora"));
    EXPECT_EQ(screen->cdsCancelaCHTIDTIPOPROPFAS->displayText(), QStringLiteral("LU/Manutenção"));
    EXPECT_EQ(screen->cdsCancelaCHTIDCHTASSINADA->displayText(), QStringLiteral("Não"));
    screen->cdsCancelaCHTIDCHTASSINADA->setText(QStringLiteral("Sim"));
    EXPECT_EQ(screen->cdsCancelaCHTIDCHTASSINADA->asString(), QStringLiteral("S"));
    screen->cdsCancelaCHTIDCHTASSINADA->setText(QStringLiteral("sim"));
    EXPECT_EQ(screen->cdsCancelaCHTIDCHTASSINADA->asString(), QStringLiteral("S"));
    screen->cdsCancelaCHTIDTIPOCOBRCONT->setAsString(QStringLiteral("X"));
    EXPECT_EQ(screen->cdsCancelaCHTIDTIPOCOBRCONT->displayText(), QString());
    c.cancel();
    screen->reattachListReactions();
}

} // namespace
