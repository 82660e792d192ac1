// Build tool: writes the operating manual as a PDF from its HTML source.
//   kvr_mkmanual SOURCE.html OUT.pdf
// Images are looked up relative to the source file; the text is set in the IPA Gothic
// font, which the PDF embeds.
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTextDocument>
#include <QUrl>

#include <cstdio>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: kvr_mkmanual SOURCE.html OUT.pdf\n");
        return 2;
    }
    QFile source(QString::fromLocal8Bit(argv[1]));
    if (!source.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    QPdfWriter pdf(QString::fromLocal8Bit(argv[2]));
    pdf.setTitle("KVR-Chart-DB Ver1 操作マニュアル");
    pdf.setCreator("KVR-Chart-DB");
    pdf.setResolution(300);
    pdf.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(18, 16, 18, 16),
                                  QPageLayout::Millimeter));

    QTextDocument doc;
    doc.setBaseUrl(QUrl::fromLocalFile(QFileInfo(source).absolutePath() + "/"));
    QFont font("IPAGothic");
    font.setPointSizeF(10.5);
    doc.setDefaultFont(font);
    doc.setHtml(QString::fromUtf8(source.readAll()));
    // Lay the text out on the printable page in points, the unit the writer's painter
    // is scaled to below.
    // The bottom footerHeight points of each page hold the page number.
    const QRectF page = pdf.pageLayout().paintRect(QPageLayout::Point);
    const double footerHeight = 18;
    const QRectF body(0, 0, page.width(), page.height() - footerHeight);
    doc.setPageSize(body.size());
    QPainter painter(&pdf);
    const double scale = pdf.resolution() / 72.0;
    painter.scale(scale, scale);
    const int pages = doc.pageCount();
    for (int i = 0; i < pages; ++i) {
        if (i > 0) pdf.newPage();
        painter.save();
        painter.translate(0, -i * body.height());
        doc.drawContents(&painter, QRectF(0, i * body.height(), body.width(), body.height()));
        painter.restore();
        painter.save();
        // The painter's unit is the point: a pixel size of 8 is 8 points (a point size
        // would be scaled by the writer's resolution once more).
        QFont footer("IPAGothic");
        footer.setPixelSize(8);
        painter.setFont(footer);
        painter.drawText(QRectF(0, page.height() - footerHeight + 4, page.width(), footerHeight - 4),
                         Qt::AlignHCenter | Qt::AlignBottom,
                         QString("- %1 / %2 -").arg(i + 1).arg(pages));
        painter.restore();
    }
    return painter.end() ? 0 : 1;
}
