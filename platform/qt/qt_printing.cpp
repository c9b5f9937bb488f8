#include "platform/qt/qt_printing.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTextLayout>

#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <stdexcept>

namespace platform::qt_edition {

namespace {

// Every drawn line but the root holds this once, right before its node text.
const QString Branch = QStringLiteral("|-------");

// Room around the printed text.
const QMarginsF PageMargins(20, 15, 15, 15);

QString fromUtf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QPrinterInfo chosenPrinter(const QString& name)
{
    if (!name.isEmpty()) {
        return QPrinterInfo::printerInfo(name);
    }
    QPrinterInfo printer = QPrinterInfo::defaultPrinter();
    if (printer.isNull()) {
        // Printers, but none made the default: the first one serves.
        const QList<QPrinterInfo> all = QPrinterInfo::availablePrinters();
        if (!all.isEmpty()) {
            printer = all.front();
        }
    }
    return printer;
}

} // namespace

QtPrinting::QtPrinting(QString printerName) : m_printerName(std::move(printerName)) {}

bool QtPrinting::hasPrinter() const
{
    if (!m_printerName.isEmpty()) {
        return !QPrinterInfo::printerInfo(m_printerName).isNull();
    }
    return !QPrinterInfo::availablePrinters().isEmpty();
}

void QtPrinting::printLines(const std::string& jobNameUtf8,
                            const std::vector<std::string>& linesUtf8)
{
    const QPrinterInfo target = chosenPrinter(m_printerName);
    if (target.isNull()) {
        throw std::runtime_error(m_printerName.isEmpty()
                                     ? std::string("没有打印机")
                                     : "没有打印机 " + m_printerName.toStdString());
    }
    QPrinter printer(target, QPrinter::HighResolution);
    printer.setDocName(fromUtf8(jobNameUtf8));
    const std::string printerName = target.printerName().toStdString();
    if (!PrintLinesOn(printer, linesUtf8)) {
        throw std::runtime_error("打印机 " + printerName + " 无法完成打印");
    }
}

bool PrintLinesOn(QPrinter& printer, const std::vector<std::string>& linesUtf8)
{
    printer.setPageMargins(PageMargins, QPageLayout::Millimeter);
    QPainter painter;
    if (!painter.begin(&printer)) {
        return false;
    }
    const QFont font = PrintFont();
    painter.setFont(font);
    QStringList lines;
    lines.reserve(static_cast<qsizetype>(linesUtf8.size()));
    for (const std::string& line : linesUtf8) {
        lines << fromUtf8(line);
    }
    const QSizeF page = printer.pageRect(QPrinter::DevicePixel).size();
    int currentPage = 0;
    for (const PlacedText& piece : LayoutPrintLines(lines, font, &printer, page)) {
        while (currentPage < piece.page) {
            printer.newPage();
            ++currentPage;
        }
        painter.drawText(piece.at, piece.text);
    }
    return painter.end() && printer.printerState() != QPrinter::Error;
}

QString PrintFontFamily()
{
    static const QString family = [] {
        QString found;
        FcPattern* pattern = FcPatternCreate();
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>("SimSun"));
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>("宋体"));
        // The language makes fontconfig fall back on a font that has the Chinese glyphs.
        FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>("zh-cn"));
        FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result = FcResultNoMatch;
        if (FcPattern* match = FcFontMatch(nullptr, pattern, &result)) {
            FcChar8* name = nullptr;
            if (FcPatternGetString(match, FC_FAMILY, 0, &name) == FcResultMatch) {
                found = QString::fromUtf8(reinterpret_cast<const char*>(name));
            }
            FcPatternDestroy(match);
        }
        FcPatternDestroy(pattern);
        return found.isEmpty() ? QStringLiteral("SimSun") : found;
    }();
    return family;
}

QFont PrintFont()
{
    QFont font(PrintFontFamily());
    // 12 pixels of a 96-dpi screen.
    font.setPointSizeF(9.0);
    font.setStyleStrategy(QFont::PreferMatch);
    return font;
}

std::vector<PlacedText> LayoutPrintLines(const QStringList& lines, const QFont& font,
                                         QPaintDevice* device, QSizeF pageSize)
{
    const QFontMetricsF metrics(font, device);
    const qreal lineHeight = metrics.lineSpacing();
    const int linesPerPage = std::max(1, static_cast<int>(pageSize.height() / lineHeight));
    const qreal width = pageSize.width();
    std::vector<PlacedText> placed;
    int row = 0;
    const auto place = [&](qreal x, const QString& text) {
        placed.push_back({row / linesPerPage,
                          QPointF(x, (row % linesPerPage) * lineHeight + metrics.ascent()), text});
    };
    for (const QString& line : lines) {
        if (metrics.horizontalAdvance(line) <= width) {
            place(0, line);
            ++row;
            continue;
        }
        // The indent strings stand before the branch; the node text follows it.
        const qsizetype branchAt = line.indexOf(Branch);
        const qsizetype textStart = branchAt < 0 ? 0 : branchAt + Branch.size();
        const QString indents = branchAt < 0 ? QString() : line.left(branchAt);
        const qreal indent = std::min(metrics.horizontalAdvance(line.left(textStart)), width / 2);
        const bool drawIndents = !indents.isEmpty() && metrics.horizontalAdvance(indents) <= indent;

        QTextLayout layout(line, font, device);
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.beginLayout();
        for (bool first = true;; first = false) {
            QTextLine textLine = layout.createLine();
            if (!textLine.isValid()) {
                break;
            }
            textLine.setLineWidth(first ? width : width - indent);
            const QString piece = line.mid(textLine.textStart(), textLine.textLength());
            if (first) {
                place(0, piece);
            } else {
                if (drawIndents) {
                    place(0, indents);
                }
                place(indent, piece);
            }
            ++row;
        }
        layout.endLayout();
    }
    return placed;
}

} // namespace platform::qt_edition
