#pragma once

#include "platform/printing.h"

#include <QFont>
#include <QPointF>
#include <QSizeF>
#include <QString>
#include <QStringList>

#include <vector>

class QPaintDevice;
class QPrinter;

namespace platform::qt_edition {

// Printers through Qt PrintSupport (CUPS on Linux).
class QtPrinting : public Printing
{
public:
    // An empty name prints on the default printer.
    explicit QtPrinting(QString printerName = {});

    // With a printer name: true when that printer is installed.
    bool hasPrinter() const override;
    void printLines(const std::string& jobNameUtf8,
                    const std::vector<std::string>& linesUtf8) override;

private:
    QString m_printerName;
};

// Paints the lines on the printer's pages in the print font, laid out by LayoutPrintLines:
// one job. False when the printer cannot start or finish it.
bool PrintLinesOn(QPrinter& printer, const std::vector<std::string>& linesUtf8);

// The family fontconfig gives for "SimSun" ("宋体") in Simplified Chinese: SimSun itself
// where the user has installed it, else the CJK font the configuration prefers.
QString PrintFontFamily();
// That family at the size of a 12-pixel screen font (9 points).
QFont PrintFont();

// One piece of text at its place on a page of the printout.
struct PlacedText
{
    int page = 0;
    QPointF at; // left end of the base line, in device units
    QString text;
};

// The lines of a tree drawing laid out on pages of pageSize (device units, margins taken
// off already) in font as device measures it. A line too long for the page wraps; the
// rest of its node text goes on below, after the line's indent strings and as far in as
// the node text begins (at most half the page), so the tree stays readable. Pages fill
// from the top with whole lines.
std::vector<PlacedText> LayoutPrintLines(const QStringList& lines, const QFont& font,
                                         QPaintDevice* device, QSizeF pageSize);

} // namespace platform::qt_edition
