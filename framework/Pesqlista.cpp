#include "module/contracts/Pesqlista.h"

#include "framework/DialogResponder.h"
#include "framework/MessageBoxes.h"
#include "framework/PesquisaListaDialog.h"
#include "framework/PickListModel.h"
#include "platform/wire/KeyList.h"
#include "platform/wire/WireError.h"

#include <memory>
#include <string>
#include <vector>

namespace cht::framework {

namespace {

QStringList decodeSelection(const QString& selection)
{
    QStringList keys;
    try {
        for (const std::string& k : cht::wire::decodeKeyList(selection.toStdString()))
            keys << QString::fromStdString(k);
    } catch (const cht::wire::WireError&) {
        // A list that is not in the shared format starts the pick from nothing.
    }
    return keys;
}

QString encodeSelection(const QStringList& keys)
{
    if (keys.isEmpty())
        return {};
    std::vector<std::string> list;
    list.reserve(static_cast<std::size_t>(keys.size()));
    for (const QString& k : keys)
        list.push_back(k.toStdString());
    return QString::fromStdString(cht::wire::encodeKeyList(list));
}

// What a scripted pick list is shown: every row's texts, as the dialog would show them.
DialogRequest scriptRequest(const QString& title, const PickListModel& model,
                            const QStringList& selected)
{
    DialogRequest request;
    request.kind = QStringLiteral("pick");
    request.title = title;
    request.buttons << QStringLiteral("OK") << QStringLiteral("Cancelar");
    for (int r = 0; r < model.rowCount(); ++r) {
        QStringList texts;
        for (int c = 1; c < model.columnCount(); ++c)
            texts << model.index(r, c).data().toString();
        request.rows << texts.join(QStringLiteral(" | "));
    }
    request.selected = selected;
    return request;
}

} // namespace

bool PesquisaLista(cht::platform::TDataSource* source, const QString& keyField,
                   const QString& titleAndEmpty, bool singleSelection, QString& selection)
{
    const qsizetype bar = titleAndEmpty.indexOf(QLatin1Char('|'));
    const QString title = bar < 0 ? titleAndEmpty : titleAndEmpty.left(bar);
    const QString emptyText = bar < 0 ? QString() : titleAndEmpty.mid(bar + 1);

    cht::platform::TClientDataSet* ds = source ? source->dataSet() : nullptr;
    if (!ds)
        throw cht::platform::DataSetError("A lista de pesquisa não tem dados a mostrar.");
    cht::platform::TField& key = ds->fieldByName(keyField);
    if (!ds->active() || ds->isEmpty()) {
        messageBox(QStringLiteral("info"), TMsgDlgType::mtInformation, title,
                   emptyText.isEmpty() ? QStringLiteral("Não há registros a mostrar.") : emptyText,
                   mbOK);
        return false;
    }

    std::vector<cht::platform::TField*> shown;
    for (int i = 0; i < ds->fieldCount(); ++i)
        if (ds->field(i).visible)
            shown.push_back(&ds->field(i));
    const QStringList selected = decodeSelection(selection);
    auto model = std::make_unique<PickListModel>(*ds, key, shown, selected, singleSelection);

    if (DialogResponder::isActive()) {
        DialogRequest request = scriptRequest(title, *model, selected);
        request.keys = [&] {
            QStringList all;
            all.reserve(model->recordCount());
            for (int r = 1; r <= ds->recordCount(); ++r)
                all << key.formatValue(ds->valueAt(r, key.index()));
            return all;
        }();
        if (auto reply = DialogResponder::answer(request)) {
            if (reply->result != mrOk)
                return false;
            selection = encodeSelection(reply->keys);
            return true;
        }
    }
    PesquisaListaDialog dialog(title, model.release(), singleSelection, dialogParent());
    if (dialog.exec() != QDialog::Accepted)
        return false;
    selection = encodeSelection(dialog.checkedKeys());
    return true;
}

} // namespace cht::framework
