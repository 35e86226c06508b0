#include "module/contracts/Pesqlista.h"

#include "framework/DialogResponder.h"
#include "framework/MessageBoxes.h"
#include "framework/PesquisaListaDialog.h"
#include "platform/dataset/ControlsDisabler.h"
#include "platform/wire/KeyList.h"
#include "platform/wire/WireError.h"

#include <string>
#include <vector>

namespace cht::framework {

namespace {

struct Rows {
    QStringList headers;
    std::vector<QStringList> texts;
    QStringList keys;
};

// Reads every row as the grid would show it: the cursor walks, so get-text hooks that look at
// other fields of the row see the right one; the current row is restored.
Rows readRows(cht::platform::TClientDataSet& ds, const QString& keyField)
{
    Rows rows;
    cht::platform::TField& key = ds.fieldByName(keyField);
    std::vector<cht::platform::TField*> shown;
    for (int i = 0; i < ds.fieldCount(); ++i) {
        cht::platform::TField& f = ds.field(i);
        if (f.visible) {
            shown.push_back(&f);
            rows.headers << f.label();
        }
    }
    const int saved = ds.recNo();
    const cht::platform::ControlsDisabler disabled(ds);
    for (ds.first(); !ds.eof(); ds.next()) {
        QStringList texts;
        for (cht::platform::TField* f : shown)
            texts << f->displayText();
        rows.texts.push_back(texts);
        rows.keys << key.asString();
    }
    if (saved > 0)
        ds.setRecNo(saved);
    return rows;
}

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
    if (!ds->active() || ds->isEmpty()) {
        messageBox(QStringLiteral("info"), TMsgDlgType::mtInformation, title,
                   emptyText.isEmpty() ? QStringLiteral("Não há registros a mostrar.") : emptyText,
                   mbOK);
        return false;
    }

    const Rows rows = readRows(*ds, keyField);
    const QStringList selected = decodeSelection(selection);

    DialogRequest request;
    request.kind = QStringLiteral("pick");
    request.title = title;
    request.buttons << QStringLiteral("OK") << QStringLiteral("Cancelar");
    for (const QStringList& texts : rows.texts)
        request.rows << texts.join(QStringLiteral(" | "));
    request.keys = rows.keys;
    request.selected = selected;
    QStringList picked;
    if (auto reply = DialogResponder::answer(request)) {
        if (reply->result != mrOk)
            return false;
        picked = reply->keys;
    } else {
        PesquisaListaDialog dialog(title, rows.headers, rows.texts, rows.keys, selected,
                                   singleSelection, dialogParent());
        if (dialog.exec() != QDialog::Accepted)
            return false;
        picked = dialog.checkedKeys();
    }
    selection = encodeSelection(picked);
    return true;
}

} // namespace cht::framework
