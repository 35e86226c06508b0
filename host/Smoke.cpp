#include "Smoke.h"

#include "MainWindow.h"
#include "Screenshot.h"
#include "module/contracts/Forms.h"

#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QTableView>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <memory>

using cht::framework::Application;

namespace cht::host {

namespace {

constexpr int kFilterTimeoutMs = 60000;

void fail(const QString& message)
{
    std::fprintf(stderr, "cht-host --smoke: %s\n", qUtf8Printable(message));
    std::fflush(stderr);
    QApplication::exit(1);
}

struct SmokeState {
    QStringList errors;
    bool confirmed = false;
    QElapsedTimer clock;
};

// Presses the filter's confirm button once its modal loop is up.
void confirmFilterWhenShown(const std::shared_ptr<SmokeState>& state)
{
    auto* poll = new QTimer(QApplication::instance());
    poll->setInterval(20);
    QObject::connect(poll, &QTimer::timeout, [poll, state] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || modal->objectName() != QLatin1String("frmFiltroCancCHT")) {
            if (state->clock.elapsed() > kFilterTimeoutMs) {
                poll->stop();
                poll->deleteLater();
                fail(QStringLiteral("o filtro de CHT não apareceu em %1 s.")
                         .arg(kFilterTimeoutMs / 1000));
            }
            return;
        }
        poll->stop();
        poll->deleteLater();
        auto* confirm = modal->findChild<QAbstractButton*>(QStringLiteral("sbtConfirma"));
        if (confirm == nullptr) {
            fail(QStringLiteral("o filtro de CHT não tem o botão de confirmação."));
            if (auto* dialog = qobject_cast<QDialog*>(modal))
                dialog->reject();
            return;
        }
        state->confirmed = true;
        confirm->click();
        // A filter still up means the confirmation failed; the error is already recorded.
        if (modal->isVisible())
            if (auto* dialog = qobject_cast<QDialog*>(modal))
                dialog->reject();
    });
    poll->start();
}

void run(MainWindow& window, const QString& screenshotPath,
         const std::shared_ptr<SmokeState>& state)
{
    state->clock.start();
    confirmFilterWhenShown(state);
    window.openModule(); // returns once the modal filter has closed

    if (!state->errors.isEmpty()) {
        fail(QStringLiteral("erro durante a execução: ") +
             state->errors.join(QStringLiteral(" | ")));
        return;
    }
    if (!state->confirmed) {
        fail(QStringLiteral("o filtro de CHT não foi confirmado."));
        return;
    }
    auto* grid = window.findChild<QTableView*>(QStringLiteral("dbgPadrao"));
    if (grid == nullptr || grid->model() == nullptr) {
        fail(QStringLiteral("a tela de Gerenciamento de CHT não está aberta."));
        return;
    }
    const int rows = grid->model()->rowCount();
    std::printf("listed %d CHTs\n", rows);
    std::fflush(stdout);
    if (rows == 0) {
        fail(QStringLiteral("nenhuma CHT listada com o filtro padrão (pendentes de hoje)."));
        return;
    }

    QApplication::processEvents();
    const QString path =
        screenshotPath.isEmpty()
            ? QDir::temp().filePath(
                  QStringLiteral("cht-smoke-%1.png").arg(QApplication::applicationPid()))
            : screenshotPath;
    if (!grabHostWindows(&window).save(path, "PNG")) {
        fail(QStringLiteral("não foi possível salvar a imagem em ") + path);
        return;
    }
    std::printf("screenshot: %s\n", qUtf8Printable(path));
    std::fflush(stdout);
    QApplication::exit(0);
}

} // namespace

void prepareSmokePlatform(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--smoke") == 0 && !qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
}

void startSmoke(MainWindow& window, const QString& moduleError, const QString& screenshotPath)
{
    auto state = std::make_shared<SmokeState>();
    // Nobody is there to close an error box: record the messages and fail with them.
    Application::SetErrorDisplay([state](const QString& message) {
        state->errors << message;
        std::fprintf(stderr, "cht-host --smoke: erro exibido: %s\n", qUtf8Printable(message));
    });
    QTimer::singleShot(0, &window, [&window, moduleError, screenshotPath, state] {
        if (!moduleError.isEmpty()) {
            fail(moduleError);
            return;
        }
        run(window, screenshotPath, state);
    });
}

} // namespace cht::host
