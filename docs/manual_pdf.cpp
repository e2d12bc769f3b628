// SPDX-License-Identifier: MIT
// kvara-manual-pdf: turns the Markdown manual into the help PDF, with Qt alone.
//
//   kvara-manual-pdf MANUAL.md OUTPUT.pdf
//
// Pictures are found relative to the Markdown file; a missing one is an error. Pictures wider
// than the text, or taller than four fifths of a page's text, are scaled down to fit; tables get
// thin rules. Pages are A4 and numbered.
//
// The numbered list under the title is the contents: it must name the chapters (the first-level
// headings after the title) in order, or nothing is written. In the PDF it becomes a table of
// the chapters and their sections with the page each starts on, found by laying the manual out
// twice. The PDF carries bookmarks (an outline) for the contents and every chapter and section,
// and the contents lines are links to their pages; Qt's PDF writer knows neither, so both are
// added to the file it wrote as an incremental update (PDF 1.4, sections 3.4.5 and 8.2.2).
//
// Qt lays the text out as one long page; this program cuts it into pages itself, only between
// lines of text, whole table rows and whole pictures. A heading stays on the page of what
// follows it, and so does a paragraph that ends in a colon; a paragraph leaves no single line
// on either page; a table continued on a new page repeats its header row there. Each chapter
// starts on a new page, unless the previous one ends in the top third of its page: then it
// follows on that page, which would otherwise hold only that end.
#include <QAbstractTextDocumentLayout>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPalette>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QScreen>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextLayout>
#include <QTextList>
#include <QTextTable>
#include <algorithm>
#include <cstdio>
#include <map>
#include <vector>

namespace {

// The printable area of the writer is the page less 5 mm; the text keeps 2 cm more from it.
constexpr double kPageMarginMm = 5.0;
constexpr double kTextMarginMm = 20.0;
// The page number's baseline, below the text area.
constexpr double kPageNumberGapMm = 8.0;
// A chapter follows on the page where the previous one ends if that end fills less than this
// part of the page.
constexpr double kChapterFollowsBelow = 1.0 / 3.0;

void Fail(const QString& message) {
    std::fprintf(stderr, "kvara-manual-pdf: %s\n", qPrintable(message));
}

struct ImageRun {
    int position = 0;
    int length = 0;
    QTextImageFormat format;
};

// False when a picture the text names is missing: the manual would show an empty frame.
// maxSize is in the document's own units (the screen's logical pixels, which the layout maps
// onto the writer).
bool FitImages(QTextDocument& document, QSizeF maxSize) {
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
            Fail(QStringLiteral("picture %1 not found").arg(url.toLocalFile()));
            complete = false;
            continue;
        }
        // Kept in the document itself: the layout knows no base address for it.
        document.addResource(QTextDocument::ImageResource, QUrl(run.format.name()), image);
        const double scale =
            std::min({1.0, maxSize.width() / image.width(), maxSize.height() / image.height()});
        run.format.setWidth(image.width() * scale);
        run.format.setHeight(image.height() * scale);
        QTextCursor cursor(&document);
        cursor.setPosition(run.position);
        cursor.setPosition(run.position + run.length, QTextCursor::KeepAnchor);
        cursor.setCharFormat(run.format);
    }
    return complete;
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
            format.setHeaderRowCount(1);
            table->setFormat(format);
        }
        RuleTables(child);
    }
}

// ---------------------------------------------------------------------------------------------
// Headings and the contents

struct Heading {
    int level = 0;
    QString text;
    QTextBlock block;
};

// The headings after the title (the first first-level heading), in order.
std::vector<Heading> HeadingsOf(const QTextDocument& document) {
    std::vector<Heading> headings;
    bool title = true;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        const int level = block.blockFormat().headingLevel();
        if (level == 0) {
            continue;
        }
        if (title && level == 1) {
            title = false;
            continue;
        }
        headings.push_back({level, block.text().simplified(), block});
    }
    return headings;
}

QString TitleOf(const QTextDocument& document) {
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (block.blockFormat().headingLevel() == 1) {
            return block.text();
        }
    }
    return QStringLiteral("Kvara Programmer");
}

// "3 Das Hauptfenster" without its number.
QString WithoutNumber(const QString& heading) {
    static const QRegularExpression number(QStringLiteral("^[0-9.]+\\s+"));
    return QString(heading).remove(number);
}

struct Contents {
    QString name;  // the line that introduces the list ("Inhalt"), for the bookmark
    QTextTable* table = nullptr;
    std::vector<int> rowHeading;  // the heading (index into the headings) each row names
};

// Replaces the contents list by an empty table of the chapters and sections, with a column for
// the page numbers. An error when the list is missing or names other chapters than the text.
bool MakeContents(QTextDocument& document, const std::vector<Heading>& headings,
                  Contents& contents) {
    QTextList* list = nullptr;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (block.textList() != nullptr) {
            list = block.textList();
            break;
        }
        if (block.blockFormat().headingLevel() == 1 && block != document.begin()) {
            break;
        }
    }
    QStringList chapters;
    for (const Heading& heading : headings) {
        if (heading.level == 1) {
            chapters << WithoutNumber(heading.text);
        }
    }
    QStringList items;
    for (int i = 0; list != nullptr && i < list->count(); ++i) {
        items << list->item(i).text().simplified();
    }
    if (items != chapters) {
        Fail(QStringLiteral("the contents list under the title must name the chapters in "
                            "order:\n  list:     %1\n  chapters: %2")
                 .arg(items.join(QStringLiteral(" | ")), chapters.join(QStringLiteral(" | "))));
        return false;
    }
    const QTextBlock first = list->item(0);
    const QTextBlock last = list->item(list->count() - 1);
    contents.name = first.previous().text().trimmed();
    contents.name.remove(QRegularExpression(QStringLiteral(":$")));

    QTextCursor cursor(&document);
    cursor.setPosition(first.position());
    cursor.setPosition(last.position() + last.length() - 1, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();

    int rows = 0;
    for (const Heading& heading : headings) {
        rows += heading.level <= 2 ? 1 : 0;
    }
    QTextTableFormat format;
    format.setBorder(0);
    format.setCellPadding(1);
    format.setCellSpacing(0);
    format.setWidth(QTextLength(QTextLength::PercentageLength, 100));
    format.setColumnWidthConstraints({QTextLength(QTextLength::PercentageLength, 90),
                                      QTextLength(QTextLength::PercentageLength, 10)});
    contents.table = cursor.insertTable(rows, 2, format);
    // The emptied list line stays before the table, with its list number: it joins the line
    // before it.
    const QTextBlock emptied = contents.table->firstCursorPosition().block().previous();
    QTextCursor join(emptied);
    join.movePosition(QTextCursor::PreviousCharacter, QTextCursor::KeepAnchor);
    join.removeSelectedText();

    int row = 0;
    for (int i = 0; i < static_cast<int>(headings.size()); ++i) {
        const Heading& heading = headings[i];
        if (heading.level > 2) {
            continue;
        }
        QTextCharFormat text;
        text.setFontWeight(heading.level == 1 ? QFont::Bold : QFont::Normal);
        QTextTableCellFormat cell;
        cell.setLeftPadding(heading.level == 1 ? 1 : 18);
        cell.setTopPadding(heading.level == 1 && row > 0 ? 5 : 1);
        contents.table->cellAt(row, 0).setFormat(cell);
        contents.table->cellAt(row, 1).setFormat(cell);
        contents.table->cellAt(row, 0).firstCursorPosition().insertText(heading.text, text);
        QTextCursor number = contents.table->cellAt(row, 1).firstCursorPosition();
        QTextBlockFormat right;
        right.setAlignment(Qt::AlignRight);
        number.setBlockFormat(right);
        contents.rowHeading.push_back(i);
        ++row;
    }
    return true;
}

void NumberContents(const Contents& contents, const std::vector<int>& headingPage) {
    for (int row = 0; row < static_cast<int>(contents.rowHeading.size()); ++row) {
        QTextCursor cursor = contents.table->cellAt(row, 1).firstCursorPosition();
        cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        QTextCharFormat text = contents.table->cellAt(row, 0).firstCursorPosition().charFormat();
        cursor.insertText(QString::number(headingPage[contents.rowHeading[row]] + 1), text);
    }
}

// ---------------------------------------------------------------------------------------------
// Cutting the long page into pages

// A piece of the laid-out text that no page boundary may cut: a line (a picture is a line too)
// or a table row. In the document's device units, top to bottom.
struct Item {
    double top = 0;
    double bottom = 0;
    QTextBlock block;  // a line: its block, and which line of how many
    int line = 0;
    int lines = 0;
    QTextTable* table = nullptr;  // a row: its table, and which row
    int row = -1;
    int headingLevel = 0;
    bool keepWithNext = false;  // a page must not end after it
};

struct Page {
    int first = 0;  // items [first, end)
    int end = 0;
    double top = 0;  // the slice of the long page shown, after the repeated header if any
    double bottom = 0;
    QTextTable* header = nullptr;  // a table continued from the page before
    double headerTop = 0;
    double headerBottom = 0;
};

class Pager {
public:
    Pager(QTextDocument& document, double pageHeight, double tableInset)
        : document_(document),
          layout_(document.documentLayout()),
          pageHeight_(pageHeight),
          tableInset_(tableInset) {}

    void Measure() {
        items_.clear();
        tableRows_.clear();
        QTextFrame* root = document_.rootFrame();
        for (auto it = root->begin(); !it.atEnd(); ++it) {
            if (QTextFrame* frame = it.currentFrame()) {
                if (auto* table = qobject_cast<QTextTable*>(frame)) {
                    AddTable(table);
                } else {
                    const QRectF rect = layout_->frameBoundingRect(frame);
                    Item item;
                    item.top = rect.top();
                    item.bottom = rect.bottom();
                    items_.push_back(item);
                }
            } else {
                AddBlock(it.currentBlock());
            }
        }
    }

    std::vector<Page> Paginate() const {
        std::vector<Page> pages;
        const int count = static_cast<int>(items_.size());
        int first = 0;
        while (first < count) {
            Page page;
            page.first = first;
            page.top = items_[first].top;
            double room = pageHeight_;
            const Item& start = items_[first];
            if (start.table != nullptr && start.row > start.table->format().headerRowCount() - 1 &&
                start.table->format().headerRowCount() > 0) {
                const std::vector<double>& rows = tableRows_.at(start.table);
                page.header = start.table;
                page.headerTop = rows[0];
                page.headerBottom = rows[start.table->format().headerRowCount()];
                room -= page.headerBottom - page.headerTop;
            }
            int end = first;
            bool forced = false;
            while (end < count && items_[end].bottom - page.top <= room) {
                if (end > first && StartsChapter(end) &&
                    items_[end - 1].bottom - page.top >= kChapterFollowsBelow * pageHeight_) {
                    forced = true;
                    break;
                }
                ++end;
            }
            if (end == first) {
                end = first + 1;  // taller than a page: alone, cut off
            } else if (end < count && !forced) {
                end = Adjust(first, end);
            }
            page.end = end;
            // Up to the end of the last item: what follows must not show a sliver.
            page.bottom = items_[end - 1].bottom;
            pages.push_back(page);
            first = end;
        }
        return pages;
    }

    const std::vector<Item>& Items() const { return items_; }

    // The item of a block's first line, or of a table row.
    int ItemOf(const QTextBlock& block) const {
        for (int i = 0; i < static_cast<int>(items_.size()); ++i) {
            if (items_[i].block == block && items_[i].line == 0) {
                return i;
            }
        }
        return -1;
    }
    int ItemOf(const QTextTable* table, int row) const {
        for (int i = 0; i < static_cast<int>(items_.size()); ++i) {
            if (items_[i].table == table && items_[i].row == row) {
                return i;
            }
        }
        return -1;
    }

private:
    void AddBlock(const QTextBlock& block) {
        const QTextLayout* layout = block.layout();
        const int lines = layout->lineCount();
        // A block of the root frame, which lies at the origin: its lines are placed relative
        // to its layout's position.
        const double origin = layout->position().y();
        const int level = block.blockFormat().headingLevel();
        const bool colon = block.text().trimmed().endsWith(QLatin1Char(':'));
        for (int i = 0; i < lines; ++i) {
            const QTextLine line = layout->lineAt(i);
            Item item;
            item.top = origin + line.y();
            item.bottom = item.top + line.height();
            item.block = block;
            item.line = i;
            item.lines = lines;
            item.headingLevel = level;
            item.keepWithNext = level > 0 || (colon && i == lines - 1);
            items_.push_back(item);
        }
    }

    // A row reaches from the top of its cells' borders to the top of the next row's.
    void AddTable(QTextTable* table) {
        std::vector<double> tops;
        double bottom = 0;
        for (int r = 0; r < table->rows(); ++r) {
            double top = 1e300;
            for (int c = 0; c < table->columns(); ++c) {
                const QTextTableCell cell = table->cellAt(r, c);
                if (cell.row() != r) {
                    continue;
                }
                top = std::min(
                    top, layout_->blockBoundingRect(cell.firstCursorPosition().block()).top());
                bottom = std::max(
                    bottom, layout_->blockBoundingRect(cell.lastCursorPosition().block()).bottom());
            }
            tops.push_back(top - tableInset_);
        }
        tops.push_back(bottom + tableInset_);
        const int headerRows = table->format().headerRowCount();
        for (int r = 0; r < table->rows(); ++r) {
            Item item;
            item.top = tops[r];
            item.bottom = tops[r + 1];
            item.table = table;
            item.row = r;
            // A header row stays with the first row under it.
            item.keepWithNext = r < headerRows && table->rows() > headerRows;
            items_.push_back(item);
        }
        tableRows_[table] = std::move(tops);
    }

    bool StartsChapter(int index) const {
        const Item& item = items_[index];
        return item.headingLevel == 1 && item.line == 0 && index > 0;
    }

    // Moves the end of a page [first, end) back so that it does not separate a heading from
    // what follows, nor leave a single line of a paragraph on either page.
    int Adjust(int first, int end) const {
        for (int round = 0; round < 8; ++round) {
            int moved = end;
            const Item& next = items_[moved];
            if (next.table == nullptr && next.block.isValid() && next.line > 0) {
                const int before = next.line;
                const int after = next.lines - next.line;
                if (before < 2) {
                    moved -= before;
                } else if (after < 2) {
                    moved -= before >= 3 ? 1 : before;
                }
            }
            while (moved - 1 > first && items_[moved - 1].keepWithNext) {
                --moved;
            }
            if (moved <= first) {
                return end;  // nothing would be left on the page: keep the first cut
            }
            if (moved == end) {
                return end;
            }
            end = moved;
        }
        return end;
    }

    QTextDocument& document_;
    QAbstractTextDocumentLayout* layout_;
    double pageHeight_;
    double tableInset_;
    std::vector<Item> items_;
    std::map<const QTextTable*, std::vector<double>> tableRows_;
};

// ---------------------------------------------------------------------------------------------
// The outline and links, as an incremental update of the PDF Qt wrote

struct OutlineEntry {
    int level = 0;
    QString title;
    int page = 0;
    double top = 0;  // in PDF points from the bottom of the page
};

struct Link {
    int page = 0;
    QRectF rect;  // in PDF points
    int targetPage = 0;
    double targetTop = 0;
};

// A PDF text string that holds any text: UTF-16BE with a byte order mark, in hex.
QByteArray PdfText(const QString& text) {
    QByteArray hex = "<FEFF";
    for (const QChar c : text) {
        hex += QByteArray::number(c.unicode() + 0x10000, 16).right(4).toUpper();
    }
    return hex + '>';
}

QByteArray Number(double value) {
    return QByteArray::number(value, 'f', 2);
}

class PdfUpdate {
public:
    explicit PdfUpdate(QByteArray file) : file_(std::move(file)) {}

    // Reads the cross-reference table and the trailer Qt wrote: one table, no streams.
    bool Read() {
        const qsizetype startxref = file_.lastIndexOf("startxref");
        if (startxref < 0) {
            return Fail(QStringLiteral("no startxref"));
        }
        xref_ = file_.mid(startxref + 9, 24).trimmed().split('\n').value(0).trimmed().toLongLong();
        if (file_.mid(xref_, 4) != "xref") {
            return Fail(QStringLiteral("no cross-reference table at %1").arg(xref_));
        }
        const qsizetype trailer = file_.indexOf("trailer", xref_);
        if (trailer < 0) {
            return Fail(QStringLiteral("no trailer"));
        }
        const QList<QByteArray> lines = file_.mid(xref_, trailer - xref_).split('\n');
        int number = -1;
        for (int i = 1; i < lines.size(); ++i) {
            const QList<QByteArray> fields = lines[i].simplified().split(' ');
            if (fields.size() == 2) {
                number = fields[0].toInt();
            } else if (fields.size() == 3 && number >= 0) {
                if (fields[2] == "n") {
                    offsets_[number] = fields[0].toLongLong();
                }
                ++number;
            }
        }
        trailer_ = file_.mid(trailer, startxref - trailer);
        size_ = Key(trailer_, "Size");
        root_ = Reference(trailer_, "Root");
        info_ = Reference(trailer_, "Info");
        if (size_ <= 0 || root_ <= 0) {
            return Fail(QStringLiteral("no /Size or /Root in the trailer"));
        }
        const QByteArray pages = Object(Reference(Object(root_), "Pages"));
        const qsizetype kids = pages.indexOf("/Kids");
        const qsizetype open = pages.indexOf('[', kids);
        const qsizetype close = pages.indexOf(']', open);
        if (kids < 0 || open < 0 || close < 0) {
            return Fail(QStringLiteral("no page list"));
        }
        static const QRegularExpression reference(QStringLiteral("(\\d+)\\s+0\\s+R"));
        auto refs = reference.globalMatch(QString::fromLatin1(pages.mid(open, close - open)));
        while (refs.hasNext()) {
            const int page = refs.next().captured(1).toInt();
            static const QRegularExpression type(QStringLiteral("/Type\\s*/Page(?![a-zA-Z])"));
            if (!type.match(QString::fromLatin1(Object(page))).hasMatch()) {
                return Fail(QStringLiteral("object %1 in the page list is no page").arg(page));
            }
            pages_.push_back(page);
        }
        return true;
    }

    int PageCount() const { return static_cast<int>(pages_.size()); }

    bool Write(const QString& path, const std::vector<OutlineEntry>& outline,
               const std::vector<Link>& links) {
        QByteArray catalog = Object(root_);
        if (catalog.contains("/Outlines") || catalog.contains("/PageMode")) {
            return Fail(QStringLiteral("the catalog has an outline already"));
        }
        // The outline: a root and one item per entry, nested by level.
        const int outlineRoot = size_;
        int next = size_ + 1;
        std::vector<int> number(outline.size());
        std::vector<int> parent(outline.size(), -1);
        for (size_t i = 0; i < outline.size(); ++i) {
            number[i] = next++;
            for (int j = static_cast<int>(i) - 1; j >= 0; --j) {
                if (outline[j].level < outline[i].level) {
                    parent[i] = j;
                    break;
                }
            }
        }
        auto childrenOf = [&](int p) {
            std::vector<int> children;
            for (size_t i = 0; i < outline.size(); ++i) {
                if (parent[i] == p) {
                    children.push_back(static_cast<int>(i));
                }
            }
            return children;
        };
        // Every item is open: its count is all its descendants.
        auto descendants = [&](int p) {
            int count = 0;
            for (size_t i = 0; i < outline.size(); ++i) {
                for (int a = parent[i]; a != -1; a = parent[a]) {
                    if (a == p) {
                        ++count;
                        break;
                    }
                }
            }
            return count;
        };
        for (const OutlineEntry& entry : outline) {
            if (entry.page < 0 || entry.page >= PageCount()) {
                return Fail(QStringLiteral("bookmark \"%1\" points at no page").arg(entry.title));
            }
        }

        const std::vector<int> top = childrenOf(-1);
        AddObject(outlineRoot, "<< /Type /Outlines" + FirstLast(top, number) + " /Count " +
                                   QByteArray::number(static_cast<int>(outline.size())) + " >>");
        for (size_t i = 0; i < outline.size(); ++i) {
            const std::vector<int> siblings = childrenOf(parent[i]);
            const auto at = std::find(siblings.begin(), siblings.end(), static_cast<int>(i));
            QByteArray item = "<< /Title " + PdfText(outline[i].title) + " /Parent " +
                              Ref(parent[i] < 0 ? outlineRoot : number[parent[i]]);
            if (at != siblings.begin()) {
                item += " /Prev " + Ref(number[*(at - 1)]);
            }
            if (at + 1 != siblings.end()) {
                item += " /Next " + Ref(number[*(at + 1)]);
            }
            const std::vector<int> children = childrenOf(static_cast<int>(i));
            if (!children.empty()) {
                item += FirstLast(children, number) + " /Count " +
                        QByteArray::number(descendants(static_cast<int>(i)));
            }
            item += " /Dest " + Destination(outline[i].page, outline[i].top) + " >>";
            AddObject(number[i], item);
        }

        // Links: added to the annotation array of their page.
        std::map<int, QByteArray> annotations;  // page index -> references to add
        for (const Link& link : links) {
            const int annotation = next++;
            AddObject(annotation, "<< /Type /Annot /Subtype /Link /Border [0 0 0] /Rect [" +
                                      Number(link.rect.left()) + ' ' + Number(link.rect.top()) +
                                      ' ' + Number(link.rect.right()) + ' ' +
                                      Number(link.rect.bottom()) + "] /Dest " +
                                      Destination(link.targetPage, link.targetTop) + " >>");
            annotations[link.page] += ' ' + Ref(annotation);
        }
        for (const auto& [page, refs] : annotations) {
            const int array = Reference(Object(pages_[page]), "Annots");
            const QByteArray old = Object(array).trimmed();
            if (array <= 0 || !old.startsWith('[') || !old.endsWith(']')) {
                return Fail(QStringLiteral("page %1 has no annotation array").arg(page + 1));
            }
            AddObject(array, old.chopped(1) + refs + " ]");
        }

        const qsizetype close = catalog.lastIndexOf(">>");
        catalog = catalog.left(close) + "/Outlines " + Ref(outlineRoot) +
                  "\n/PageMode /UseOutlines\n" + catalog.mid(close);
        AddObject(root_, catalog);

        return Append(path, next);
    }

private:
    static bool Fail(const QString& message) {
        ::Fail(QStringLiteral("PDF: ") + message);
        return false;
    }

    static int Key(const QByteArray& dictionary, const char* key) {
        const QRegularExpression pattern(QStringLiteral("/%1\\s+(\\d+)").arg(QLatin1String(key)));
        const auto match = pattern.match(QString::fromLatin1(dictionary));
        return match.hasMatch() ? match.captured(1).toInt() : -1;
    }

    static int Reference(const QByteArray& dictionary, const char* key) {
        const QRegularExpression pattern(
            QStringLiteral("/%1\\s+(\\d+)\\s+0\\s+R").arg(QLatin1String(key)));
        const auto match = pattern.match(QString::fromLatin1(dictionary));
        return match.hasMatch() ? match.captured(1).toInt() : -1;
    }

    static QByteArray Ref(int object) { return QByteArray::number(object) + " 0 R"; }

    static QByteArray FirstLast(const std::vector<int>& children, const std::vector<int>& number) {
        return " /First " + Ref(number[children.front()]) + " /Last " +
               Ref(number[children.back()]);
    }

    QByteArray Destination(int page, double top) const {
        return '[' + Ref(pages_[page]) + " /XYZ null " + Number(top) + " null]";
    }

    // The body of an object of the file, between "N 0 obj" and "endobj".
    QByteArray Object(int number) const {
        const auto found = offsets_.find(number);
        if (found == offsets_.end()) {
            return {};
        }
        const QByteArray head = QByteArray::number(number) + " 0 obj";
        if (file_.mid(found->second, head.size()) != head) {
            return {};
        }
        const qint64 start = found->second + head.size();
        const qint64 end = file_.indexOf("endobj", start);
        return end < 0 ? QByteArray() : file_.mid(start, end - start);
    }

    void AddObject(int number, const QByteArray& body) {
        added_[number] = file_.size() + 1 + update_.size();
        update_ += QByteArray::number(number) + " 0 obj\n" + body + "\nendobj\n";
    }

    bool Append(const QString& path, int size) {
        const qint64 xref = file_.size() + 1 + update_.size();
        QByteArray table = "xref\n";
        for (auto it = added_.begin(); it != added_.end();) {
            auto run = it;
            int count = 0;
            while (run != added_.end() && run->first == it->first + count) {
                ++run;
                ++count;
            }
            table += QByteArray::number(it->first) + ' ' + QByteArray::number(count) + '\n';
            for (; it != run; ++it) {
                table += QByteArray::number(it->second).rightJustified(10, '0') + " 00000 n\r\n";
            }
        }
        table += "trailer\n<< /Size " + QByteArray::number(size) + " /Root " + Ref(root_);
        if (info_ > 0) {
            table += " /Info " + Ref(info_);
        }
        static const QRegularExpression id(QStringLiteral("/ID\\s*\\[[^\\]]*\\]"));
        const auto match = id.match(QString::fromLatin1(trailer_));
        if (match.hasMatch()) {
            table += ' ' + match.captured(0).toLatin1();
        }
        table += " /Prev " + QByteArray::number(xref_) + " >>\nstartxref\n" +
                 QByteArray::number(xref) + "\n%%EOF\n";
        QFile out(path);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Append) ||
            out.write('\n' + update_ + table) < 0 || !out.flush()) {
            return Fail(QStringLiteral("cannot write %1").arg(path));
        }
        return true;
    }

    QByteArray file_;
    qint64 xref_ = 0;
    QByteArray trailer_;
    int size_ = 0;
    int root_ = 0;
    int info_ = 0;
    std::map<int, qint64> offsets_;
    std::vector<int> pages_;
    QByteArray update_;
    std::map<int, qint64> added_;
};

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
    QFile::remove(output);
    QTextDocument document;
    document.setDefaultFont(QFont(QStringLiteral("DejaVu Sans"), 10));
    document.setBaseUrl(QUrl::fromLocalFile(QFileInfo(input).absolutePath() + QLatin1Char('/')));
    document.setMarkdown(QString::fromUtf8(file.readAll()), QTextDocument::MarkdownDialectGitHub);
    document.setDocumentMargin(0);

    QPdfWriter writer(output);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(kPageMarginMm, kPageMarginMm, kPageMarginMm, kPageMarginMm),
                          QPageLayout::Millimeter);
    writer.setResolution(300);
    writer.setTitle(TitleOf(document));
    writer.setCreator(QStringLiteral("Kvara Programmer"));

    // Device units (the writer's dots) and the document's own (the screen's logical pixels,
    // in which pictures and table paddings are given).
    const double dotsPerMm = writer.logicalDpiY() / 25.4;
    const double sourceDpi = QGuiApplication::primaryScreen()->logicalDotsPerInchY();
    const double textMargin = kTextMarginMm * dotsPerMm;
    const QSizeF text(writer.width() - 2 * textMargin, writer.height() - 2 * textMargin);
    const double toSource = sourceDpi / writer.logicalDpiY();

    if (!FitImages(document, QSizeF(text.width() * toSource, 0.8 * text.height() * toSource))) {
        return 1;
    }
    RuleTables(document.rootFrame());
    const std::vector<Heading> headings = HeadingsOf(document);
    Contents contents;
    if (!MakeContents(document, headings, contents)) {
        return 1;
    }

    document.documentLayout()->setPaintDevice(&writer);
    document.setTextWidth(text.width());
    // A table's rules and padding around a cell's text (set in RuleTables), in device units.
    Pager pager(document, text.height(), (0.5 + 3) / toSource);

    // Laid out twice: the page numbers in the contents must not move what they number.
    std::vector<Page> pages;
    std::vector<int> headingPage(headings.size(), -1);
    for (int round = 0;; ++round) {
        pager.Measure();
        pages = pager.Paginate();
        std::vector<int> found(headings.size(), -1);
        for (size_t h = 0; h < headings.size(); ++h) {
            const int item = pager.ItemOf(headings[h].block);
            for (size_t p = 0; p < pages.size(); ++p) {
                if (item >= pages[p].first && item < pages[p].end) {
                    found[h] = static_cast<int>(p);
                }
            }
        }
        if (found == headingPage) {
            break;
        }
        if (round == 3) {
            Fail(QStringLiteral("the page numbers of the contents do not settle"));
            return 1;
        }
        headingPage = found;
        NumberContents(contents, headingPage);
    }

    // Painted page by page: each a slice of the long page, under a repeated table header.
    const QPageLayout pageLayout = writer.pageLayout();
    const QRectF paper = pageLayout.fullRectPoints();
    const QRectF printable = pageLayout.paintRectPoints();
    const double pointsPerDot = 72.0 / writer.logicalDpiY();
    const std::vector<Item>& items = pager.Items();
    // Where a point on page p at height y of the long page lands, in PDF points.
    auto pdfTop = [&](const Page& page, double y) {
        const double header = page.header != nullptr ? page.headerBottom - page.headerTop : 0;
        return paper.height() -
               (printable.top() + (textMargin + header + y - page.top) * pointsPerDot);
    };
    QPainter painter;
    if (!painter.begin(&writer)) {
        Fail(QStringLiteral("cannot write %1").arg(output));
        return 1;
    }
    auto paintSlice = [&](double from, double to, double at) {
        painter.save();
        painter.translate(textMargin, textMargin + at - from);
        const QRectF view(0, from, text.width(), to - from);
        painter.setClipRect(view);
        QAbstractTextDocumentLayout::PaintContext context;
        context.clip = view;
        context.palette.setColor(QPalette::Text, Qt::black);
        document.documentLayout()->draw(&painter, context);
        painter.restore();
    };
    for (size_t p = 0; p < pages.size(); ++p) {
        const Page& page = pages[p];
        if (p > 0) {
            writer.newPage();
        }
        double at = 0;
        if (page.header != nullptr) {
            paintSlice(page.headerTop, page.headerBottom, 0);
            at = page.headerBottom - page.headerTop;
        }
        paintSlice(page.top, page.bottom, at);
        painter.setFont(document.defaultFont());
        const QString number = QString::number(p + 1);
        painter.drawText(
            QPointF(textMargin + text.width() - painter.fontMetrics().horizontalAdvance(number),
                    textMargin + text.height() + kPageNumberGapMm * dotsPerMm),
            number);
    }
    painter.end();

    // The outline: the contents, then each chapter with its sections.
    std::vector<OutlineEntry> outline;
    const auto pageOfItem = [&](int item) {
        for (size_t p = 0; p < pages.size(); ++p) {
            if (item >= pages[p].first && item < pages[p].end) {
                return static_cast<int>(p);
            }
        }
        return -1;
    };
    const auto topOfItem = [&](int item) {
        const int p = pageOfItem(item);
        return std::min(paper.height(), pdfTop(pages[p], items[item].top) + 6);
    };
    const int contentsItem = pager.ItemOf(contents.table, 0);
    const int contentsPage = pageOfItem(contentsItem);
    if (!contents.name.isEmpty()) {
        outline.push_back({1, contents.name, contentsPage, topOfItem(contentsItem)});
    }
    for (size_t h = 0; h < headings.size(); ++h) {
        const int item = pager.ItemOf(headings[h].block);
        outline.push_back({headings[h].level, headings[h].text, headingPage[h], topOfItem(item)});
    }
    // Each line of the contents leads to its heading.
    std::vector<Link> links;
    for (int row = 0; row < static_cast<int>(contents.rowHeading.size()); ++row) {
        const int item = pager.ItemOf(contents.table, row);
        const int page = pageOfItem(item);
        const int heading = contents.rowHeading[row];
        const int target = pager.ItemOf(headings[heading].block);
        const double left = printable.left() + textMargin * pointsPerDot;
        const double right = left + text.width() * pointsPerDot;
        links.push_back({page,
                         QRectF(QPointF(left, pdfTop(pages[page], items[item].bottom)),
                                QPointF(right, pdfTop(pages[page], items[item].top))),
                         headingPage[heading], topOfItem(target)});
    }

    QFile written(output);
    if (!written.open(QIODevice::ReadOnly)) {
        Fail(QStringLiteral("nothing written to %1").arg(output));
        return 1;
    }
    PdfUpdate update(written.readAll());
    written.close();
    if (!update.Read() || update.PageCount() != static_cast<int>(pages.size()) ||
        !update.Write(output, outline, links)) {
        Fail(QStringLiteral("%1 could not be given its outline").arg(output));
        QFile::remove(output);
        return 1;
    }
    return 0;
}
