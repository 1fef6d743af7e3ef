#pragma once
// The printer port on libcups: the cards are drawn into a PDF in memory, then handed to the default
// destination of the print server, or saved into a file, in one piece.

#include "cards/printer_port.h"
#include <chrono>
#include <optional>

// Every exchange with the print server runs on a worker thread that the caller waits for with a
// deadline: a server that stops answering costs the window a few seconds, not CUPS's own minutes.
// A worker given up on is left to end by itself (its connection gives up within half a second);
// it owns everything it touches, so neither the port nor the process waits for it.
class CupsPrinterPort : public PrinterPort
{
public:
    struct Limits {
        // Finding the default destination and its paper, all told.
        std::chrono::milliseconds lookup{2000};
        // The longest the hand-off may go without progress (the server answering, a block sent).
        std::chrono::milliseconds stall{2500};
        // The whole hand-off, however steady.
        std::chrono::milliseconds handOff{10000};
    };

    CupsPrinterPort() = default;
    explicit CupsPrinterPort(Limits limits) : m_limits(limits) {}

    std::unique_ptr<CardCanvas> open(const QString &docName, QString *why) override;
    std::unique_ptr<CardCanvas> openPdf(const QString &fileName, QString *why) override;
    bool printPdf(const QByteArray &pdf, const QString &title, QString *why) override;
    bool savePdf(const QByteArray &pdf, const QString &fileName, QString *why) override;

    // Workers still running, given up on or not.
    static int runningWorkers();

private:
    struct Destination;
    std::optional<Destination> lookUpDefault(QString *why) const;
    bool send(const Destination &to, const QString &title, const QByteArray &pdf, QString *why) const;

    Limits m_limits;
};
