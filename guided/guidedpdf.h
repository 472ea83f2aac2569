#pragma once
// The batch report as a PDF, laid out by Qt's own text document and PDF
// writer (A4, 15 mm margins).

#include <QString>

namespace GuidedPdf {
bool write(const QString &path, const QString &html, QString *error);
}
