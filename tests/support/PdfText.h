// Reads a PDF back as poppler sees it: the text of each page (pdftotext) and a page as a picture
// (pdftoppm), so that tests check what a reader of the file gets, not what the writer meant.
#pragma once

#include <QImage>
#include <QString>
#include <QStringList>

namespace cht::testing {

/// The text of every page, in order, as `pdftotext -layout` gives it; empty with `error` set when
/// the tool failed or is missing.
QStringList pdfPages(const QString& pdfPath, QString* error);
/// Page `page` (1-based) rendered at `dpi`; a null image with `error` set when it failed.
QImage pdfPageImage(const QString& pdfPath, int page, int dpi, QString* error);

} // namespace cht::testing
