#pragma once
// The printer as the card sheet sees it: a canvas in twips, and where canvases come from.

#include <QByteArray>
#include <QString>
#include <memory>

// The printer operations a card sheet needs, in twips from the top-left corner of the printable
// area. Pen widths are in printer dots, font sizes in points.
class CardCanvas
{
public:
    virtual ~CardCanvas() = default;
    virtual void setFontSize(double points) = 0;
    virtual void setPenWidth(int dots) = 0;
    virtual void moveTo(double x, double y) = 0;
    // Prints `text` with its top-left corner at the current position, then moves to the next line.
    virtual void printLine(const QString &text) = 0;
    virtual void line(double x1, double y1, double x2, double y2) = 0;
    virtual void rectangle(double x1, double y1, double x2, double y2) = 0;
    // False when the device refused.
    virtual bool newPage() = 0;
    // Ends the document and hands it to the printer; false when that failed.
    virtual bool endDoc() = 0;
    // After newPage() or endDoc() returned false: what went wrong, in Italian, for the user; empty
    // when the canvas has nothing more precise to say than the caller's own message.
    virtual QString failure() const { return {}; }
    // Where the document goes: the printer's name; empty when unknown.
    virtual QString destination() const { return {}; }
};

// Tells `why`, when the caller asked to know.
inline void setWhy(QString *why, const QString &text)
{
    if (why) *why = text;
}

class PrinterPort
{
public:
    virtual ~PrinterPort() = default;
    // Opens a document on the default printer. Null, with `why` in Italian, when there is no
    // default printer or it cannot start the document.
    virtual std::unique_ptr<CardCanvas> open(const QString &docName, QString *why) = 0;
    // The same cards into a PDF file of the user's choice.
    virtual std::unique_ptr<CardCanvas> openPdf(const QString &fileName, QString *why) = 0;
    // A finished PDF document (the evening's verbale) to the default printer, or into a file.
    // False, with `why` in Italian, when it did not get there.
    virtual bool printPdf(const QByteArray &pdf, const QString &title, QString *why)
    {
        Q_UNUSED(pdf);
        Q_UNUSED(title);
        setWhy(why, QStringLiteral("Stampa non disponibile."));
        return false;
    }
    virtual bool savePdf(const QByteArray &pdf, const QString &fileName, QString *why)
    {
        Q_UNUSED(pdf);
        Q_UNUSED(fileName);
        setWhy(why, QStringLiteral("Salvataggio non disponibile."));
        return false;
    }
};
