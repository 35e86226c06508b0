// What the base screen's report, export, totals line and help read of the CHT list: its fields,
// the words of its pictures, its help page, and the filter of the list in words.
#include "module/Cli_cot09800.h"

#include "module/Cli_cot09801.h"
#include "platform/dataset/DisplayFormat.h"
#include "platform/wire/KeyList.h"
#include "platform/wire/WireError.h"

#include <QHash>
#include <QLabel>
#include <QStringList>

#include <string>

using cht::platform::TField;

namespace {

// Names of the codes of a picked list, as the listed rows call them; a code no row shows stays a
// code. An unreadable list is left out.
QString namesOf(const QString& keyList, const TField* code, const TField* name)
{
    QStringList codes;
    try {
        for (const std::string& k : cht::wire::decodeKeyList(keyList.toStdString()))
            codes << QString::fromStdString(k);
    } catch (const cht::wire::WireError&) {
        return {};
    }
    QHash<QString, QString> names;
    const cht::platform::TClientDataSet& list = code->dataSet();
    if (list.active())
        for (int recNo = 1; recNo <= list.recordCount() && names.size() < codes.size(); ++recNo) {
            const cht::wire::Value c = list.valueAt(recNo, code->index());
            const cht::wire::Value n = list.valueAt(recNo, name->index());
            const auto* cs = std::get_if<std::string>(&c);
            const auto* ns = std::get_if<std::string>(&n);
            if (cs && ns)
                names.insert(QString::fromStdString(*cs), QString::fromStdString(*ns));
        }
    QStringList shown;
    for (const QString& c : codes)
        shown << names.value(c, c);
    return shown.join(QStringLiteral(", "));
}

} // namespace

void TfrmCancelaCHT::describeList()
{
    cht::framework::ListDescription& d = listDescription;
    d.itemName = QStringLiteral("CHT");
    d.itemNamePlural = QStringLiteral("CHTs");
    d.feminine = true;
    d.tickField = QStringLiteral("IDCHECK");
    d.tickedValue = QStringLiteral("S");
    d.statusField = QStringLiteral("IDSTATUSCHT");
    d.hoursField = QStringLiteral("QTHRAPROFATUCHT");
    d.hoursCaption = QStringLiteral("Horas faturadas");
    d.valueField = QStringLiteral("VRFATU");
    d.valueCaption = lblValorFaturar->text();
    d.titles.insert(QStringLiteral("IDCHECK"), QStringLiteral("Marcada"));
    d.titles.insert(QStringLiteral("IDSTATUSCHT"), QStringLiteral("Situação"));
    // The words are the legend's and the message table's, as the operator reads them on screen.
    d.pictureWords.insert(QStringLiteral("IDSTATUSCHT"),
                          {{QStringLiteral("P"), Label3->text()},
                           {QStringLiteral("A"), lblNaoAprovada->text()},
                           {QStringLiteral("R"), Label2->text()},
                           {QStringLiteral("N"), Label4->text()}});
    const QString yes = msgPadrao.Msg(QStringLiteral("sim"));
    const QString no = msgPadrao.Msg(QStringLiteral("nao"));
    d.pictureWords.insert(QStringLiteral("IDCHECK"),
                          {{QStringLiteral("S"), yes}, {QStringLiteral("N"), no}});
    d.pictureWords.insert(QStringLiteral("IDCDAOK"),
                          {{QStringLiteral("S"), yes}, {QStringLiteral("N"), no}});
    // Any value but "S" shows the empty box.
    d.pictureWords.insert(QStringLiteral("IDCHTPGTOOK"),
                          {{QStringLiteral("S"), yes}, {QStringLiteral("N"), no}, {QString(), no}});
    helpPage = QUrl(QStringLiteral("qrc:/cht/help/COT09800.html"));
}

QString TfrmCancelaCHT::filterDescription() const
{
    const TFiltro& f = Cli_cot09801::Filtro;
    QStringList parts;
    parts << QStringLiteral("Clientes: %1")
                 .arg(f.TodosClientes == QLatin1String("T")
                          ? QStringLiteral("todos")
                          : namesOf(f.Clientes, cdsCancelaCHTCDCLIENTE, cdsCancelaCHTNMFANTCLIE));
    parts << QStringLiteral("Funcionários: %1")
                 .arg(f.TodosFuncs == QLatin1String("T")
                          ? QStringLiteral("todos")
                          : namesOf(f.Funcs, cdsCancelaCHTCDFUNC, cdsCancelaCHTNMFUNC));
    const QString day = QStringLiteral("dd/mm/yyyy");
    parts << QStringLiteral("Geradas de %1 a %2")
                 .arg(cht::platform::formatDateTime(day, f.DataIni),
                      cht::platform::formatDateTime(day, f.DataFin));
    QStringList statuses;
    for (const auto& [letter, word] :
         listDescription.pictureWords.value(QStringLiteral("IDSTATUSCHT")))
        if (f.Situacao.contains(QStringLiteral("_%1_").arg(letter)))
            statuses << word;
    parts << QStringLiteral("Situações: %1")
                 .arg(statuses.isEmpty() ? QStringLiteral("nenhuma")
                                         : statuses.join(QStringLiteral(", ")));
    return parts.join(QStringLiteral("; "));
}
