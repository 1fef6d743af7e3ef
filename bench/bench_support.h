#pragma once
// What the benchmarks that play a game through the real window share: the process's CPU time, a
// printer that is never there, and the median and spread of their rounds.

#include "cards/printer_port.h"

#include <QString>

#include <algorithm>

#include <ctime>
#include <memory>
#include <vector>

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

// The median of `v`; 0 when it is empty.
inline double median(std::vector<double> v)
{
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// "median (lowest to highest)", each figure in `format`; `v` not empty.
inline QString spread(const std::vector<double> &v, const char *format)
{
    const auto [lo, hi] = std::minmax_element(v.begin(), v.end());
    return QString::asprintf(format, median(v)) + QStringLiteral(" (") + QString::asprintf(format, *lo) +
           QStringLiteral(" to ") + QString::asprintf(format, *hi) + QStringLiteral(")");
}
