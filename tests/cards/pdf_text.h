#pragma once
// Reads a PDF back as words with their boxes (pdftotext -bbox, in points from the top-left of
// the paper), and picks the cards out of a sheet's words.

#include "cards/dealer.h"
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QMap>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTest>
#include <QXmlStreamReader>
#include <algorithm>
#include <cmath>
#include <pwd.h>
#include <unistd.h>

struct PdfWord {
    int page = 0; // 1-based
    double xMin = 0, yMin = 0, xMax = 0, yMax = 0;
    QString text;
    double height() const { return yMax - yMin; }
};

struct PdfText {
    QString error; // empty when the file was read
    int pages = 0;
    QList<PdfWord> words;
};

inline bool havePdftotext()
{
    return !QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty();
}

inline PdfText readPdfText(const QString &fileName)
{
    PdfText out;
    QProcess proc;
    proc.start(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), fileName, QStringLiteral("-")});
    if (!proc.waitForFinished(30000) || proc.exitStatus() != QProcess::NormalExit || proc.exitCode() != 0) {
        out.error =
            QStringLiteral("pdftotext failed: ") + QString::fromLocal8Bit(proc.readAllStandardError());
        return out;
    }
    QXmlStreamReader xml(proc.readAllStandardOutput());
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) continue;
        if (xml.name() == QLatin1String("page")) {
            ++out.pages;
        } else if (xml.name() == QLatin1String("word")) {
            PdfWord w;
            w.page = out.pages;
            const QXmlStreamAttributes a = xml.attributes();
            w.xMin = a.value(QLatin1String("xMin")).toDouble();
            w.yMin = a.value(QLatin1String("yMin")).toDouble();
            w.xMax = a.value(QLatin1String("xMax")).toDouble();
            w.yMax = a.value(QLatin1String("yMax")).toDouble();
            w.text = xml.readElementText();
            out.words.append(w);
        }
    }
    if (xml.hasError() && xml.error() != QXmlStreamReader::PrematureEndOfDocumentError)
        out.error = QStringLiteral("bad pdftotext output: ") + xml.errorString();
    return out;
}

// A card's numbers as read from the paper.
struct ReadCard {
    int page = 0;
    int place = 0; // 1..3 on its page
    QList<PdfWord> numbers;
    QString footer; // the footer line's words joined by one blank
};

// Where the sheet's printable area starts on the paper, in points.
struct SheetOrigin {
    double left = 0;
    double top = 0;
};

constexpr double pointsPerUnit = 367.0 / 20.0;

// The top of the card at `place` (1..3), in grid units from the printable area's top.
inline double cardTop(int place)
{
    return 3 + 13.0 * (place - 1);
}

// Groups a sheet's words into cards by their height on the page: a word inside a card's frame is
// one of its numbers, a word below the frame is its footer.
inline QList<ReadCard> readCards(const PdfText &text, SheetOrigin origin)
{
    QMap<QPair<int, int>, ReadCard> cards;
    QMap<QPair<int, int>, QList<PdfWord>> footers;
    for (const PdfWord &w : text.words) {
        const double y = (w.yMin - origin.top) / pointsPerUnit; // grid units
        const int place = int(std::floor((y - cardTop(1) - 1.0) / 13.0)) + 1;
        if (place < 1 || place > 3) continue;
        ReadCard &card = cards[{w.page, place}];
        card.page = w.page;
        card.place = place;
        if (y < cardTop(place) + 7.6)
            card.numbers.append(w);
        else
            footers[{w.page, place}].append(w);
    }
    // pdftotext does not keep a line's words together: put them back in reading order.
    for (auto it = footers.begin(); it != footers.end(); ++it) {
        std::sort(it->begin(), it->end(), [](const PdfWord &a, const PdfWord &b) {
            return std::abs(a.yMin - b.yMin) > 2 ? a.yMin < b.yMin : a.xMin < b.xMin;
        });
        QStringList line;
        for (const PdfWord &w : *it)
            line.append(w.text);
        cards[it.key()].footer = line.join(QLatin1Char(' '));
    }
    return cards.values();
}

// Empty when every card keeps the rules on paper: each number a whole number in its decade column
// and on one of the three rows (within the tolerances, in points, of its place), at most 5 a row, ascending
// down each column, and no number twice within a set of six cards (the cards taken in order).
inline QString sheetFaults(const QList<ReadCard> &cards, SheetOrigin origin, double xTolerance,
                           double yTolerance)
{
    QSet<int> inSet;
    for (int k = 0; k < cards.size(); ++k) {
        const ReadCard &card = cards[k];
        if (k % 6 == 0) inSet.clear();
        const QString where = QStringLiteral("page %1 card %2: ").arg(card.page).arg(card.place);
        int inRow[3] = {};
        QMap<int, QMap<int, int>> byColumn; // column -> row -> number
        for (const PdfWord &w : card.numbers) {
            bool ok = false;
            const int n = w.text.toInt(&ok);
            if (!ok || n < 1 || n > 90)
                return where + QStringLiteral("\"%1\" is not a card number").arg(w.text);
            const int c = colonna_di(n);
            const double x = origin.left + (2.5 * c + 2.5) * pointsPerUnit;
            if (std::abs(w.xMin - x) > xTolerance)
                return where +
                       QStringLiteral("%1 at x %2, its column starts at %3").arg(n).arg(w.xMin).arg(x);
            int row = 0;
            for (int r = 1; r <= 3; ++r) {
                const double y = origin.top + (cardTop(card.place) + 2.0 * r) * pointsPerUnit;
                if (std::abs(w.yMin - y) <= yTolerance) row = r;
            }
            if (row == 0) return where + QStringLiteral("%1 at y %2 is on no row").arg(n).arg(w.yMin);
            if (++inRow[row - 1] > 5) return where + QStringLiteral("row %1 holds more than 5").arg(row);
            if (byColumn[c].contains(row)) return where + QStringLiteral("two numbers in one cell");
            byColumn[c][row] = n;
            if (inSet.contains(n)) return where + QStringLiteral("%1 twice in a set").arg(n);
            inSet.insert(n);
        }
        for (const QMap<int, int> &column : byColumn) {
            int last = 0;
            for (int n : column) { // rows in order
                if (n <= last) return where + QStringLiteral("column not ascending at %1").arg(n);
                last = n;
            }
        }
    }
    return {};
}

// Printed jobs of a CUPS PDF queue.

// Where cups-pdf puts the jobs of the current user: its "Out" setting, ${HOME} expanded.
inline QString cupsPdfFolder()
{
    const passwd *pw = getpwuid(getuid());
    const QString home = pw ? QString::fromLocal8Bit(pw->pw_dir) : QDir::homePath();
    QString out = QStringLiteral("${HOME}/PDF");
    QFile conf(QStringLiteral("/etc/cups/cups-pdf.conf"));
    if (conf.open(QIODevice::ReadOnly | QIODevice::Text)) {
        while (!conf.atEnd()) {
            const QString line = QString::fromLocal8Bit(conf.readLine()).trimmed();
            if (line.startsWith(QLatin1String("Out "))) out = line.mid(4).trimmed();
        }
    }
    return out.replace(QLatin1String("${HOME}"), home);
}

// The PDF of the job named `docName`, once it is complete; empty after `seconds`.
inline QString waitForJob(const QString &folder, const QString &docName, int seconds)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < seconds * 1000) {
        const QFileInfoList files = QDir(folder).entryInfoList({QStringLiteral("*.pdf")}, QDir::Files);
        for (const QFileInfo &f : files) {
            // Complete once pdftotext can read it to its end.
            if (f.fileName().contains(docName) && f.size() > 0 && readPdfText(f.filePath()).error.isEmpty())
                return f.filePath();
        }
        QTest::qWait(200);
    }
    return {};
}
