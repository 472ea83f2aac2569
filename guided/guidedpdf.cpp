#include "guided/guidedpdf.h"

#include <QFile>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTextDocument>

namespace GuidedPdf {

bool write(const QString &path, const QString &html, QString *error)
{
    {
        QFile probe(path);
        if (!probe.open(QIODevice::WriteOnly)) {
            if (error)
                *error = probe.errorString();
            return false;
        }
    }
    QPdfWriter pdf(path);
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
    pdf.setResolution(150);
    pdf.setTitle(QStringLiteral("Отчет о калибровке партии"));
    QTextDocument doc;
    doc.setHtml(html);
    doc.setPageSize(pdf.pageLayout().paintRectPixels(pdf.resolution()).size());
    doc.print(&pdf);
    if (QFile(path).size() == 0) {
        if (error)
            *error = QStringLiteral("PDF пуст");
        return false;
    }
    return true;
}

} // namespace GuidedPdf
