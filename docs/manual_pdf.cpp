// SPDX-License-Identifier: MIT
// kvara-manual-pdf: turns the Markdown manual into the help PDF, with Qt alone.
//
//   kvara-manual-pdf MANUAL.md OUTPUT.pdf
//
// Pictures are found relative to the Markdown file; a missing one is an error. Each chapter (a
// first-level heading) starts on a new page; pictures wider than the text are scaled down to
// its width; tables get thin rules. Pages are A4 and numbered.
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QScreen>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>
#include <cstdio>
#include <vector>

namespace {

// QTextDocument::print() lays the text out with 2 cm margins inside the page's own (here 5 mm).
constexpr double kPageMarginMm = 5.0;
constexpr double kPrintMarginCm = 2.0;

struct ImageRun {
    int position = 0;
    int length = 0;
    QTextImageFormat format;
};

// The width of the text on the page, in the units the document lays out in (the screen's
// logical pixels, which print() maps onto the page).
double TextWidth(const QPdfWriter& writer) {
    const double sourceDpi = QGuiApplication::primaryScreen()->logicalDotsPerInchX();
    const double page = writer.width() * sourceDpi / writer.logicalDpiX();
    return page - 2 * (kPrintMarginCm / 2.54) * sourceDpi;
}

// False when a picture the text names is missing: the manual would show an empty frame.
bool FitImages(QTextDocument& document, double maxWidth) {
    std::vector<ImageRun> runs;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (fragment.isValid() && fragment.charFormat().isImageFormat()) {
                runs.push_back({fragment.position(), fragment.length(),
                                fragment.charFormat().toImageFormat()});
            }
        }
    }
    bool complete = true;
    for (ImageRun& run : runs) {
        const QUrl url = document.baseUrl().resolved(QUrl(run.format.name()));
        const QImage image(url.toLocalFile());
        if (image.isNull()) {
            std::fprintf(stderr, "kvara-manual-pdf: picture %s not found\n",
                         qPrintable(url.toLocalFile()));
            complete = false;
            continue;
        }
        // Kept in the document itself: printing works on a copy that knows no base address.
        document.addResource(QTextDocument::ImageResource, QUrl(run.format.name()), image);
        const double scale = image.width() > maxWidth ? maxWidth / image.width() : 1.0;
        run.format.setWidth(image.width() * scale);
        run.format.setHeight(image.height() * scale);
        QTextCursor cursor(&document);
        cursor.setPosition(run.position);
        cursor.setPosition(run.position + run.length, QTextCursor::KeepAnchor);
        cursor.setCharFormat(run.format);
    }
    return complete;
}

bool HoldsPicture(const QTextBlock& block) {
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        if (it.fragment().charFormat().isImageFormat()) {
            return true;
        }
    }
    return false;
}

// Chapters start on a new page, and so does a section that opens with a picture (unless it
// opens its chapter), so that its heading does not stay behind at the foot of a page.
void BreakPages(QTextDocument& document) {
    bool first = true;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        const int level = block.blockFormat().headingLevel();
        bool breakBefore = false;
        if (level == 1) {
            breakBefore = !first;
            first = false;
        } else if (level == 2) {
            breakBefore = block.next().isValid() && HoldsPicture(block.next()) &&
                          block.previous().isValid() &&
                          block.previous().blockFormat().headingLevel() == 0;
        }
        if (breakBefore) {
            QTextBlockFormat format = block.blockFormat();
            format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
            QTextCursor(block).setBlockFormat(format);
        }
    }
}

void RuleTables(QTextFrame* frame) {
    for (QTextFrame* child : frame->childFrames()) {
        if (auto* table = qobject_cast<QTextTable*>(child)) {
            QTextTableFormat format = table->format();
            format.setBorder(0.5);
            format.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
            format.setBorderBrush(QColor(120, 120, 120));
            format.setBorderCollapse(false);
            format.setCellPadding(3);
            format.setCellSpacing(0);
            format.setWidth(QTextLength(QTextLength::PercentageLength, 100));
            table->setFormat(format);
        }
        RuleTables(child);
    }
}

QString TitleOf(const QTextDocument& document) {
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (block.blockFormat().headingLevel() == 1) {
            return block.text();
        }
    }
    return QStringLiteral("Kvara Programmer");
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication application(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: kvara-manual-pdf MANUAL.md OUTPUT.pdf\n");
        return 2;
    }
    const QString input = QString::fromLocal8Bit(argv[1]);
    const QString output = QString::fromLocal8Bit(argv[2]);
    QFile file(input);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "kvara-manual-pdf: cannot read %s\n", argv[1]);
        return 1;
    }
    QTextDocument document;
    document.setDefaultFont(QFont(QStringLiteral("DejaVu Sans"), 10));
    document.setBaseUrl(QUrl::fromLocalFile(QFileInfo(input).absolutePath() + QLatin1Char('/')));
    document.setMarkdown(QString::fromUtf8(file.readAll()), QTextDocument::MarkdownDialectGitHub);

    QPdfWriter writer(output);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(kPageMarginMm, kPageMarginMm, kPageMarginMm, kPageMarginMm),
                          QPageLayout::Millimeter);
    writer.setResolution(300);
    writer.setTitle(TitleOf(document));
    writer.setCreator(QStringLiteral("Kvara Programmer"));

    if (!FitImages(document, TextWidth(writer))) {
        QFile::remove(output);
        return 1;
    }
    BreakPages(document);
    RuleTables(document.rootFrame());
    document.print(&writer);
    if (!QFileInfo(output).isFile() || QFileInfo(output).size() == 0) {
        std::fprintf(stderr, "kvara-manual-pdf: nothing written to %s\n", argv[2]);
        return 1;
    }
    return 0;
}
