// Definition of the justification screen: caption, size, the text box and its message table.
#include "module/Cli_cot09802.h"

#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

TfrmDescAlter::TfrmDescAlter(QWidget* parent) : TfrmRotiGeral(parent)
{
    setObjectName(QStringLiteral("frmDescAlter"));
    createLayout();
}

void TfrmDescAlter::createLayout()
{
    setWindowTitle(QStringLiteral("Justificativa do Não Faturamento"));
    lblCodTela->setText(QStringLiteral("COT09802"));
    // A fixed border, over every other window of the application.
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    setFixedSize(535, 142);
    grbDadosRel->setFixedWidth(480);

    rceDescAlter = new QPlainTextEdit(grbDadosRel);
    rceDescAlter->setObjectName(QStringLiteral("rceDescAlter"));
    QPalette infoBk = rceDescAlter->palette();
    infoBk.setColor(QPalette::Base, palette().color(QPalette::ToolTipBase));
    rceDescAlter->setPalette(infoBk);
    rceDescAlter->setPlainText(QStringLiteral("\n"));
    auto* fill = new QVBoxLayout(grbDadosRel);
    fill->setContentsMargins(0, 0, 0, 0);
    fill->addWidget(rceDescAlter);

    msgPadrao.Lines = {
        QStringLiteral("Desc_Inf|Descrição da Alteração deve ser informada."),
        QStringLiteral("Canc|Cancelar operação?"),
    };
}
