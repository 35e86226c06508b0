// The print and export commands of the base grid screen: the report's preview (which prints and
// saves PDF) and the CSV file.
#pragma once

#include "cht_framework_export.h"
#include "module/contracts/TfrmPadraoGrid.h"

#include <QByteArray>
#include <QString>

#include <functional>

class QIODevice;

class QPrintPreviewDialog;

namespace cht::framework {

class ListReport;

/// Object names of the preview window and of its "Salvar PDF" action.
inline constexpr const char* kPreviewName = "frmVisualizaImpressao";
inline constexpr const char* kSavePdfName = "actSalvarPdf";

/// The print command: the list's report in a modal preview, A4 landscape.
CHT_FRAMEWORK_EXPORT void previewListReport(TfrmPadraoGrid& screen);
/// Asks where and saves the report as PDF; nothing when the operator gives up.
CHT_FRAMEWORK_EXPORT void saveReportPdf(const ListReport& report, const TfrmPadraoGrid& screen);
/// The export command: asks where and writes the list as CSV.
CHT_FRAMEWORK_EXPORT void exportListCsv(const TfrmPadraoGrid& screen);

/// Writes a file whole or not at all (an old file stays as it was): `write` fills it, raising a
/// std::runtime_error when it cannot. Throws a Portuguese message that says what to do.
CHT_FRAMEWORK_EXPORT void writeWholeFile(const QString& path,
                                         const std::function<void(QIODevice&)>& write);
CHT_FRAMEWORK_EXPORT void writeWholeFile(const QString& path, const QByteArray& bytes);

} // namespace cht::framework
