#include "framework/ReportPreview.h"

#include "framework/Glyphs.h"
#include "framework/ListReport.h"
#include "framework/MessageBoxes.h"
#include "module/contracts/Forms.h"

#include <QDir>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QSaveFile>
#include <QStandardPaths>
#include <QToolBar>

#include <stdexcept>

namespace cht::framework {

namespace {

// Where a file is proposed: the operator's documents, named after the screen and the moment.
QString proposedPath(const TfrmPadraoGrid& screen, const char* extension)
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QDir(folder).exists())
        folder = QDir::homePath();
    QString code = screen.lblCodTela ? screen.lblCodTela->text() : QString();
    if (code.isEmpty())
        code = QStringLiteral("lista");
    return QDir(folder).filePath(
        QStringLiteral("%1-%2.%3")
            .arg(code, QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmm")),
                 QLatin1String(extension)));
}

QString withExtension(QString path, const char* extension)
{
    const QString suffix = QStringLiteral(".") + QLatin1String(extension);
    if (!path.endsWith(suffix, Qt::CaseInsensitive))
        path += suffix;
    return path;
}

} // namespace

void writeWholeFile(const QString& path, const std::function<void(QIODevice&)>& write)
{
    // QSaveFile writes beside the target and renames only on commit: a failure midway, or a
    // `write` that raises, leaves the old file as it was.
    QSaveFile file(path);
    const auto refuse = [&](const QString& why) {
        throw std::runtime_error(
            QStringLiteral("Não foi possível gravar o arquivo \"%1\" (%2). Escolha outra pasta ou "
                           "outro nome e tente de novo.")
                .arg(QDir::toNativeSeparators(path), why)
                .toStdString());
    };
    if (!file.open(QIODevice::WriteOnly))
        refuse(file.errorString());
    write(file);
    if (!file.commit())
        refuse(file.errorString());
}

void writeWholeFile(const QString& path, const QByteArray& bytes)
{
    writeWholeFile(
        path,
        [&bytes](QIODevice& out) {
            if (out.write(bytes) != bytes.size())
                throw std::runtime_error(out.errorString().toStdString());
        });
}

void saveReportPdf(const ListReport& report, const TfrmPadraoGrid& screen)
{
    const auto path =
        askSaveFile(QStringLiteral("Salvar o relatório em PDF"), proposedPath(screen, "pdf"),
                    QStringLiteral("Documentos PDF (*.pdf)"));
    if (!path)
        return;
    const CursorGuard hourglass;
    writeWholeFile(withExtension(*path, "pdf"), report.pdf());
}

void exportListCsv(const TfrmPadraoGrid& screen)
{
    const auto path = askSaveFile(QStringLiteral("Exportar a lista"), proposedPath(screen, "csv"),
                                  QStringLiteral("Planilhas CSV (*.csv)"));
    if (!path)
        return;
    const CursorGuard hourglass;
    writeWholeFile(withExtension(*path, "csv"),
                   [&screen](QIODevice& out) { ListReport::writeCsv(screen, out); });
}

void previewListReport(TfrmPadraoGrid& screen)
{
    ListReport report = [&] {
        const CursorGuard hourglass;
        return ListReport(screen);
    }();
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageLayout(ListReport::defaultPageLayout());
    printer.setDocName(screen.windowTitle());
    QPrintPreviewDialog dialog(&printer, dialogParent());
    dialog.setObjectName(QLatin1String(kPreviewName));
    dialog.setWindowTitle(
        QStringLiteral("Visualizar impressão \u2014 %1").arg(screen.windowTitle()));
    dialog.resize(1000, 720);
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog,
                     [&report](QPrinter* target) {
                         // Inside Qt's own signal: what the drawing raises is shown, not thrown.
                         Application::Dispatch([&] {
                             const CursorGuard hourglass;
                             report.print(*target);
                         });
                     });
    if (auto* bar = dialog.findChild<QToolBar*>()) {
        bar->addSeparator();
        QAction* save = bar->addAction(glyphIcon(Glyph::SalvarPdf), QStringLiteral("Salvar PDF"));
        save->setObjectName(QLatin1String(kSavePdfName));
        save->setToolTip(QStringLiteral("Salvar o relatório em PDF"));
        QObject::connect(save, &QAction::triggered, &dialog,
                         dispatched([&report, &screen] { saveReportPdf(report, screen); }));
    }
    dialog.exec();
}

} // namespace cht::framework
