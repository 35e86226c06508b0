#include "tests/support/PdfText.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

namespace cht::testing {

namespace {

bool run(const QString& program, const QStringList& args, QByteArray* out, QString* error)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForStarted(10000)) {
        *error = QStringLiteral("%1 não iniciou (instale poppler-utils)").arg(program);
        return false;
    }
    p.waitForFinished(60000);
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        *error = QStringLiteral("%1 falhou: %2")
                     .arg(program, QString::fromUtf8(p.readAllStandardError()));
        return false;
    }
    if (out)
        *out = p.readAllStandardOutput();
    return true;
}

} // namespace

QStringList pdfPages(const QString& pdfPath, QString* error)
{
    QByteArray text;
    if (!run(QStringLiteral("pdftotext"),
             {QStringLiteral("-layout"), QStringLiteral("-enc"), QStringLiteral("UTF-8"), pdfPath,
              QStringLiteral("-")},
             &text, error))
        return {};
    // pdftotext ends every page with a form feed.
    QStringList pages = QString::fromUtf8(text).split(QLatin1Char('\f'));
    if (!pages.isEmpty() && pages.last().trimmed().isEmpty())
        pages.removeLast();
    return pages;
}

QImage pdfPageImage(const QString& pdfPath, int page, int dpi, QString* error)
{
    QTemporaryDir dir;
    const QString prefix = dir.filePath(QStringLiteral("page"));
    if (!run(QStringLiteral("pdftoppm"),
             {QStringLiteral("-png"), QStringLiteral("-r"), QString::number(dpi),
              QStringLiteral("-f"), QString::number(page), QStringLiteral("-l"),
              QString::number(page), QStringLiteral("-singlefile"), pdfPath, prefix},
             nullptr, error))
        return {};
    QImage image(prefix + QStringLiteral(".png"));
    if (image.isNull())
        *error = QStringLiteral("pdftoppm não gerou a imagem da página %1").arg(page);
    return image;
}

} // namespace cht::testing
