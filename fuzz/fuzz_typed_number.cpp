// Feeds any UTF-16 text to the typed-number reading and checks it against a plain reference:
// drop the blanks, take the longest prefix of the form [sign] digits [. digits], read it in the C
// locale.

#include "claims/typed_number.h"

#include <QString>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

namespace
{
double reference(const QString &text)
{
    std::string s;
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u' ' || u == u'\t' || u == u'\n') continue;
        s.push_back(u < 128 ? char(u) : '\x01');
    }
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    const std::size_t digitsStart = i;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])))
        ++i;
    bool digits = i > digitsStart;
    if (i < s.size() && s[i] == '.') {
        ++i;
        const std::size_t fracStart = i;
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])))
            ++i;
        digits = digits || i > fracStart;
    }
    if (!digits) return 0.0;
    return std::strtod(s.substr(0, i).c_str(), nullptr);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, std::size_t size)
{
    std::setlocale(LC_NUMERIC, "C");
    const QString text = QString::fromUtf16(reinterpret_cast<const char16_t *>(data), qsizetype(size / 2));
    const double got = valore_numerico(text);
    const double want = reference(text);
    if (!(got == want || (std::isnan(got) && std::isnan(want)))) std::abort();
    if (const auto n = intero_16(got)) {
        if (std::fabs(double(*n) - got) > 0.5) std::abort();
    } else if (std::isfinite(got) && std::fabs(got) < 32767.5) {
        std::abort();
    }
    return 0;
}
