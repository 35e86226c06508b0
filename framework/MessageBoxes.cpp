#include "framework/MessageBoxes.h"

#include "framework/DialogResponder.h"
#include "module/contracts/Forms.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

#include <utility>
#include <vector>

namespace cht::framework {

namespace {

struct ButtonSpec {
    TMsgDlgBtn flag;
    QMessageBox::ButtonRole role;
    const char* caption;
    int result;
};

const ButtonSpec kButtons[] = {
    {mbYes, QMessageBox::YesRole, "Sim", mrYes},
    {mbNo, QMessageBox::NoRole, "Não", mrNo},
    {mbOK, QMessageBox::AcceptRole, "OK", mrOk},
    {mbCancel, QMessageBox::RejectRole, "Cancelar", mrCancel},
};

QMessageBox::Icon iconOf(TMsgDlgType type)
{
    switch (type) {
    case TMsgDlgType::mtWarning:
        return QMessageBox::Warning;
    case TMsgDlgType::mtError:
        return QMessageBox::Critical;
    case TMsgDlgType::mtInformation:
        return QMessageBox::Information;
    case TMsgDlgType::mtConfirmation:
        return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

} // namespace

QWidget* dialogParent()
{
    if (QWidget* w = QApplication::activeModalWidget())
        return w;
    if (QWidget* w = QApplication::activeWindow())
        return w;
    return Application::MainForm();
}

int messageBox(const QString& kind, TMsgDlgType type, const QString& title, const QString& text,
               TMsgDlgButtons buttons)
{
    if (buttons == 0)
        buttons = mbOK;
    DialogRequest request;
    request.kind = kind;
    request.title = title;
    request.text = text;
    for (const ButtonSpec& b : kButtons)
        if (buttons & b.flag)
            request.buttons << QString::fromUtf8(b.caption);
    if (auto reply = DialogResponder::answer(request))
        return reply->result;

    QMessageBox box(iconOf(type), title, text, QMessageBox::NoButton, dialogParent());
    std::vector<std::pair<QAbstractButton*, int>> results;
    int escapeResult = mrCancel;
    for (const ButtonSpec& b : kButtons) {
        if (!(buttons & b.flag))
            continue;
        QPushButton* button = box.addButton(QString::fromUtf8(b.caption), b.role);
        results.emplace_back(button, b.result);
        if (results.size() == 1)
            box.setDefaultButton(button);
        // Esc answers No to a question, otherwise Cancel or the only button.
        if (b.result == mrNo || b.result == mrCancel || results.size() == 1) {
            box.setEscapeButton(button);
            escapeResult = b.result;
        }
    }
    box.exec();
    for (const auto& [button, result] : results)
        if (box.clickedButton() == button)
            return result;
    return escapeResult;
}

std::optional<QString> askText(const QString& title, const QString& label, const QString& value)
{
    DialogRequest request;
    request.kind = QStringLiteral("input");
    request.title = title;
    request.text = label;
    request.value = value;
    request.buttons << QStringLiteral("OK") << QStringLiteral("Cancelar");
    if (auto reply = DialogResponder::answer(request)) {
        if (reply->result != mrOk)
            return std::nullopt;
        return reply->text;
    }
    QInputDialog dialog(dialogParent());
    dialog.setWindowTitle(title);
    dialog.setLabelText(label);
    dialog.setTextValue(value);
    dialog.setOkButtonText(QStringLiteral("OK"));
    dialog.setCancelButtonText(QStringLiteral("Cancelar"));
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue();
}

std::optional<QString> askSaveFile(const QString& title, const QString& suggested,
                                   const QString& filter)
{
    DialogRequest request;
    request.kind = QStringLiteral("save");
    request.title = title;
    request.value = suggested;
    request.buttons << QStringLiteral("Salvar") << QStringLiteral("Cancelar");
    if (auto reply = DialogResponder::answer(request)) {
        if (reply->result != mrOk || reply->text.isEmpty())
            return std::nullopt;
        return reply->text;
    }
    const QString path = QFileDialog::getSaveFileName(dialogParent(), title, suggested, filter);
    if (path.isEmpty())
        return std::nullopt;
    return path;
}

} // namespace cht::framework
