// vellumark-print LISTING [--printer NAME]: prints a CD's tree as the window does, for
// vellumark-cli, which has no Qt and hands its print command over to this program.
// Exit status 0 when printed; 1 with the reason on standard error (no printer, a listing
// that cannot be read, a printer that fails); 2 for a wrong call.

#include "output/print_listing.h"
#include "platform/qt/qt_printing.h"

#include <QGuiApplication>

#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

int main(int argc, char** argv)
{
    std::string listing;
    QString printer;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--printer") == 0 && i + 1 < argc) {
            printer = QString::fromLocal8Bit(argv[++i]);
        } else if (listing.empty() && argv[i][0] != '-') {
            listing = argv[i];
        } else {
            listing.clear();
            break;
        }
    }
    if (listing.empty()) {
        std::fputs("usage: vellumark-print LISTING [--printer NAME]\n", stderr);
        return 2;
    }
    // Printing needs no screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    int qtArgc = 1;
    QGuiApplication application(qtArgc, argv);

    platform::qt_edition::QtPrinting printing(printer);
    if (!printing.hasPrinter()) {
        std::fprintf(stderr, "%s\n",
                     printer.isEmpty() ? "您没有打印机!无法打印！"
                                       : ("没有打印机 " + printer.toStdString()).c_str());
        return 1;
    }
    try {
        output::PrintListing(printing, listing);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
