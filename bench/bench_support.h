#pragma once
// What the benchmarks that play a game through the real window share: the process's CPU time and
// a printer that is never there.

#include "cards/printer_port.h"

#include <ctime>
#include <memory>

inline double cpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

class NoPrinter : public PrinterPort
{
public:
    std::unique_ptr<CardCanvas> open(const QString &, QString *) override { return nullptr; }
    std::unique_ptr<CardCanvas> openPdf(const QString &, QString *) override { return nullptr; }
};
