#include "module/contracts/Cvn_msg.h"

#include "framework/MessageBoxes.h"

namespace cht::framework {

QString TMessages::Msg(const QString& key) const
{
    for (const QString& line : Lines) {
        const qsizetype bar = line.indexOf(QLatin1Char('|'));
        if (bar >= 0 && QStringView(line).left(bar) == key)
            return line.mid(bar + 1);
    }
    return {};
}

int TMessages::ShowMsg(const QString& key, TMsgDlgType type, TMsgDlgButtons buttons,
                       int /*helpContext: no help system in this host*/) const
{
    QString title;
    switch (type) {
    case TMsgDlgType::mtConfirmation:
        title = QStringLiteral("Confirmação");
        break;
    case TMsgDlgType::mtWarning:
        title = QStringLiteral("Aviso");
        break;
    case TMsgDlgType::mtError:
        title = QStringLiteral("Erro");
        break;
    case TMsgDlgType::mtInformation:
        title = QStringLiteral("Informação");
        break;
    }
    return messageBox(QStringLiteral("message"), type, title, Msg(key), buttons);
}

} // namespace cht::framework
