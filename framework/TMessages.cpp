#include "module/contracts/Cvn_msg.h"

#include "framework/MessageBoxes.h"

namespace cht::framework {

QString TMessages::Msg(const QString& key) const
{
    // Grids ask for coded texts cell after cell: the lines are indexed once while they stay.
    if (m_indexedLines.constData() != Lines.constData() || m_indexedLines.size() != Lines.size()) {
        m_index.clear();
        for (const QString& line : Lines) {
            const qsizetype bar = line.indexOf(QLatin1Char('|'));
            if (bar >= 0 && !m_index.contains(line.left(bar)))
                m_index.insert(line.left(bar), line.mid(bar + 1));
        }
        m_indexedLines = Lines;
    }
    return m_index.value(key);
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
