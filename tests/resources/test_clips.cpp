// The embedded clips: present under :/clips/, well-formed PCM WAVE, sensible length and level.

#include <QDir>
#include <QFile>
#include <QtEndian>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <optional>

namespace
{

struct Wave {
    quint16 tag = 0;
    quint16 channels = 0;
    quint32 rate = 0;
    quint32 byteRate = 0;
    quint16 blockAlign = 0;
    quint16 bits = 0;
    QByteArray data;
};

quint32 u32(const QByteArray &b, qsizetype at)
{
    return qFromLittleEndian<quint32>(b.constData() + at);
}
quint16 u16(const QByteArray &b, qsizetype at)
{
    return qFromLittleEndian<quint16>(b.constData() + at);
}

// A minimal RIFF walk: the "fmt " and "data" chunks, or nothing when the image is broken.
std::optional<Wave> readWave(const QByteArray &b, QString *why)
{
    if (b.size() < 12 || !b.startsWith("RIFF") || b.mid(8, 4) != "WAVE") {
        *why = QStringLiteral("no RIFF/WAVE header");
        return std::nullopt;
    }
    Wave w;
    bool haveFmt = false;
    qsizetype at = 12;
    while (at + 8 <= b.size()) {
        const QByteArray id = b.mid(at, 4);
        const qint64 len = u32(b, at + 4);
        const qsizetype body = at + 8;
        if (body + len > b.size()) {
            *why = QStringLiteral("chunk '%1' runs past the end").arg(QString::fromLatin1(id));
            return std::nullopt;
        }
        if (id == "fmt ") {
            if (len < 16) {
                *why = QStringLiteral("short fmt chunk");
                return std::nullopt;
            }
            w.tag = u16(b, body);
            w.channels = u16(b, body + 2);
            w.rate = u32(b, body + 4);
            w.byteRate = u32(b, body + 8);
            w.blockAlign = u16(b, body + 12);
            w.bits = u16(b, body + 14);
            haveFmt = true;
        } else if (id == "data") {
            if (!haveFmt) {
                *why = QStringLiteral("data before fmt");
                return std::nullopt;
            }
            w.data = b.mid(body, len);
            return w;
        }
        at = body + len + (len & 1);
    }
    *why = haveFmt ? QStringLiteral("no data chunk") : QStringLiteral("no fmt chunk");
    return std::nullopt;
}

// Samples scaled to -32768..32767 whatever the width (8-bit WAVE is unsigned).
QList<int> samples(const Wave &w)
{
    QList<int> out;
    const int step = w.bits / 8;
    out.reserve(w.data.size() / step);
    for (qsizetype i = 0; i + step <= w.data.size(); i += step) {
        if (w.bits == 8)
            out.append((static_cast<quint8>(w.data[i]) - 128) * 256);
        else
            out.append(static_cast<qint16>(u16(w.data, i)));
    }
    return out;
}

// A canonical 16-bit mono image with `count` samples of `value`.
QByteArray makeWave(int count, qint16 value)
{
    QByteArray b;
    auto put32 = [&b](quint32 v) {
        char c[4];
        qToLittleEndian(v, c);
        b.append(c, 4);
    };
    auto put16 = [&b](quint16 v) {
        char c[2];
        qToLittleEndian(v, c);
        b.append(c, 2);
    };
    b.append("RIFF");
    put32(36 + count * 2);
    b.append("WAVEfmt ");
    put32(16);
    put16(1);
    put16(1);
    put32(22050);
    put32(44100);
    put16(2);
    put16(16);
    b.append("data");
    put32(count * 2);
    for (int i = 0; i < count; ++i)
        put16(static_cast<quint16>(value));
    return b;
}

struct Bounds {
    const char *name;
    double minSec;
    double maxSec;
};

QList<Bounds> allClips()
{
    QList<Bounds> list;
    static const char *const numbers[] = {
        "VA1",  "VA2",    "VA3",    "VA4",    "VA5",    "VA6",    "VA7",    "VA8",    "VA9",
        "VA10", "VA11",   "VA12",   "VA13",   "VA14",   "VA15",   "VA16",   "VA17",   "VA18",
        "VA19", "VALE20", "VALE30", "VALE40", "VALE50", "VALE60", "VALE70", "VALE80", "VALE90"};
    for (const char *n : numbers)
        list.append({n, 0.2, 1.15});
    // Every number as one word; the longest, "cinquantaquattro", takes about 1.17 s.
    static const QList<QByteArray> wholeNumbers = [] {
        QList<QByteArray> names;
        for (int n = 1; n <= 90; ++n)
            names.append("NUMERO" + QByteArray::number(n));
        return names;
    }();
    for (const QByteArray &n : wholeNumbers)
        list.append({n.constData(), 0.15, 1.3});
    for (const char *n : {"AMBO", "TERNO", "QUATERNO", "CINQUINA"})
        list.append({n, 0.2, 1.3});
    list.append({"NUM_ESTRATTI", 0.5, 2.5});
    list.append({"TOMBOLA", 0.3, 1.5});
    list.append({"TOMBOLINO", 0.3, 1.6});
    list.append({"APPLAUSI", 3.0, 4.0});
    list.append({"APRI", 1.0, 4.0});
    list.append({"INIZIO", 1.0, 4.0});
    // The longest meaning, "le anime del purgatorio", takes about 1.6 s.
    static const QList<QByteArray> meanings = [] {
        QList<QByteArray> names;
        for (int n = 1; n <= 90; ++n)
            names.append("SMORFIA" + QByteArray::number(n));
        return names;
    }();
    for (const QByteArray &n : meanings)
        list.append({n.constData(), 0.3, 2.6});
    return list;
}

constexpr int kMinPeak = 8000;           // about -12 dBFS: a clip quieter than that was not normalised
constexpr int kClipLevel = 32700;        // at or beyond: a sample at full scale
constexpr int kMaxFlatRun = 4;           // consecutive full-scale samples tolerated
constexpr int kEdgeLevel = 328;          // -40 dBFS: below it counts as silence at the ends
constexpr double kMaxEdgeSilence = 0.25; // untrimmed synthesizer output ends in about 0.6 s of it
// The whole numbers are cut at 1% of full scale, then faded over 2 and 3 ms.
constexpr double kMaxNumberEdge = 0.006;
constexpr double kMaxNumberLevelSpread = 1.0; // dB from the median RMS of the set

double rmsDb(const QList<int> &s)
{
    double sum = 0;
    for (int v : s)
        sum += double(v) * v;
    return 10 * std::log10(sum / double(std::max<qsizetype>(s.size(), 1)) / (32768.0 * 32768.0));
}

} // namespace

class TestClips : public QObject
{
    Q_OBJECT
private slots:
    void clip_data();
    void clip();
    void wholeNumbersAreTrimmedAndEvenlyLoud();
    void folderHoldsExactlyTheClips();
    void walkRejectsBrokenImages();
};

void TestClips::clip_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<double>("minSec");
    QTest::addColumn<double>("maxSec");
    for (const Bounds &c : allClips())
        QTest::newRow(c.name) << QString::fromLatin1(c.name) << c.minSec << c.maxSec;
}

void TestClips::clip()
{
    QFETCH(QString, name);
    QFETCH(double, minSec);
    QFETCH(double, maxSec);

    QFile f(QStringLiteral(":/clips/%1.wav").arg(name));
    QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(f.fileName() + " is not embedded"));
    QString why;
    const auto w = readWave(f.readAll(), &why);
    QVERIFY2(w.has_value(), qPrintable(why));

    QCOMPARE(w->tag, quint16(1));
    QVERIFY2(w->bits == 8 || w->bits == 16, qPrintable(QString::number(w->bits)));
    QVERIFY2(w->channels == 1 || w->channels == 2, qPrintable(QString::number(w->channels)));
    QVERIFY2(w->rate >= 8000 && w->rate <= 48000, qPrintable(QString::number(w->rate)));
    QCOMPARE(w->blockAlign, quint16(w->channels * w->bits / 8));
    QCOMPARE(w->byteRate, w->rate * w->blockAlign);
    QCOMPARE(w->data.size() % w->blockAlign, 0);

    const double seconds = double(w->data.size()) / w->byteRate;
    QVERIFY2(seconds >= minSec && seconds <= maxSec,
             qPrintable(QStringLiteral("%1 s, wanted %2..%3").arg(seconds).arg(minSec).arg(maxSec)));

    const QList<int> s = samples(*w);
    int peak = 0;
    int run = 0;
    int longestRun = 0;
    for (int v : s) {
        peak = std::max(peak, std::abs(v));
        run = std::abs(v) >= kClipLevel ? run + 1 : 0;
        longestRun = std::max(longestRun, run);
    }
    QVERIFY2(peak >= kMinPeak, qPrintable(QStringLiteral("peak %1").arg(peak)));
    QVERIFY2(longestRun <= kMaxFlatRun,
             qPrintable(QStringLiteral("%1 samples clipped in a row").arg(longestRun)));

    // Trimmed: sound starts and ends close to the edges of the file.
    const auto loud = [](int v) { return std::abs(v) > kEdgeLevel; };
    const auto first = std::find_if(s.cbegin(), s.cend(), loud) - s.cbegin();
    const auto last = std::find_if(s.crbegin(), s.crend(), loud) - s.crbegin();
    const double perSample = 1.0 / (double(w->rate) * w->channels);
    QVERIFY2(first * perSample <= kMaxEdgeSilence,
             qPrintable(QStringLiteral("%1 s of silence first").arg(first * perSample)));
    QVERIFY2(last * perSample <= kMaxEdgeSilence,
             qPrintable(QStringLiteral("%1 s of silence last").arg(last * perSample)));
}

// The numbers are said one after another all evening: one louder than the rest stands out, and silence
// at the ends of a clip would lengthen the pause that counts from its end.
void TestClips::wholeNumbersAreTrimmedAndEvenlyLoud()
{
    QList<double> levels;
    for (int n = 1; n <= 90; ++n) {
        QFile f(QStringLiteral(":/clips/NUMERO%1.wav").arg(n));
        QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(f.fileName() + " is not embedded"));
        QString why;
        const auto w = readWave(f.readAll(), &why);
        QVERIFY2(w.has_value(), qPrintable(why));
        QCOMPARE(w->channels, quint16(1));
        const QList<int> s = samples(*w);
        const auto loud = [](int v) { return std::abs(v) > kEdgeLevel; };
        const double first = double(std::find_if(s.cbegin(), s.cend(), loud) - s.cbegin()) / w->rate;
        const double last = double(std::find_if(s.crbegin(), s.crend(), loud) - s.crbegin()) / w->rate;
        QVERIFY2(first <= kMaxNumberEdge && last <= kMaxNumberEdge,
                 qPrintable(QStringLiteral("NUMERO%1: %2 ms quiet first, %3 ms last")
                                .arg(n)
                                .arg(first * 1000)
                                .arg(last * 1000)));
        levels.append(rmsDb(s));
    }
    QList<double> sorted = levels;
    std::sort(sorted.begin(), sorted.end());
    const double median = (sorted[44] + sorted[45]) / 2;
    qInfo("whole numbers: RMS %.2f to %.2f dBFS, median %.2f", sorted.first(), sorted.last(), median);
    for (int n = 1; n <= 90; ++n)
        QVERIFY2(std::abs(levels[n - 1] - median) <= kMaxNumberLevelSpread,
                 qPrintable(QStringLiteral("NUMERO%1 at %2 dBFS, the set's median %3")
                                .arg(n)
                                .arg(levels[n - 1])
                                .arg(median)));
}

// Stale or misspelt files would load under the wrong name or not at all.
void TestClips::folderHoldsExactlyTheClips()
{
    QStringList want;
    for (const Bounds &c : allClips())
        want.append(QString::fromLatin1(c.name) + QStringLiteral(".wav"));
    QStringList have = QDir(QStringLiteral(":/clips")).entryList(QDir::Files);
    want.sort();
    have.sort();
    QCOMPARE(have, want);
}

// The walk above must be able to say no, or the clip checks prove nothing.
void TestClips::walkRejectsBrokenImages()
{
    QString why;
    const QByteArray good = makeWave(100, 1000);
    QVERIFY(readWave(good, &why).has_value());
    QCOMPARE(readWave(good, &why)->data.size(), 200);

    QVERIFY(!readWave(good.left(good.size() - 1), &why).has_value()); // data past the end
    QVERIFY(why.contains(QStringLiteral("data")));
    QByteArray noWave = good;
    noWave.replace(8, 4, "AVI ");
    QVERIFY(!readWave(noWave, &why).has_value());
    QVERIFY(!readWave(good.left(36), &why).has_value()); // no data chunk
    QCOMPARE(why, QStringLiteral("no data chunk"));

    // An odd-sized chunk before fmt is skipped with its pad byte.
    QByteArray padded = good;
    padded.insert(12, QByteArray("LIST\x03\x00\x00\x00"
                                 "abc\x00",
                                 12));
    const auto w = readWave(padded, &why);
    QVERIFY2(w.has_value(), qPrintable(why));
    QCOMPARE(w->bits, quint16(16));
    QCOMPARE(samples(*w).first(), 1000);
}

QTEST_GUILESS_MAIN(TestClips)
#include "test_clips.moc"
