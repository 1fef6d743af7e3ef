#include "cards/cups_printer.h"

#include "cards/cups_job.h"
#include "cards/painter_canvas.h"

#include <QBuffer>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QSaveFile>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <functional>
#include <string>
#include <unistd.h>

using cups_job::lookUp;
using cups_job::Outcome;
using cups_job::Paper;
using cups_job::Reply;
using cups_job::runBounded;
using cups_job::submit;
using cups_job::WorkerControl;

namespace
{

// Points: the margins Qt's printer keeps at the least.
constexpr double leastMargin = 10.0;

const QString noDefaultText =
    QStringLiteral("Nessuna stampante predefinita: collegare o configurare una stampante, "
                   "oppure salvare le cartelle in PDF.");

QString quoted(const std::string &name)
{
    return QStringLiteral("\u00ab%1\u00bb").arg(QString::fromStdString(name));
}

// " (detail)", or nothing when the server said nothing.
QString detailOf(const std::string &detail)
{
    return detail.empty() ? QString() : QStringLiteral(" (%1)").arg(QString::fromStdString(detail));
}

// What went wrong on the disk, for the user.
QString diskTrouble(int error)
{
    switch (error) {
    case ENOSPC:
        return QStringLiteral("disco pieno");
    case EDQUOT:
        return QStringLiteral("spazio concesso sul disco esaurito");
    case EROFS:
        return QStringLiteral("disco in sola lettura");
    case EACCES:
    case EPERM:
        return QStringLiteral("permesso negato");
    case ENOENT:
    case ENOTDIR:
        return QStringLiteral("la cartella non esiste");
    case ENAMETOOLONG:
        return QStringLiteral("nome troppo lungo");
    default:
        return QStringLiteral("errore del disco: %1").arg(QString::fromLocal8Bit(std::strerror(error)));
    }
}

// ---- The canvas

// Draws into a PDF in memory; endDoc() hands the finished PDF to `deliver`, which says why not.
class MemoryPdfCanvas : public CardCanvas
{
public:
    using Deliver = std::function<bool(const QByteArray &pdf, QString *why)>;

    MemoryPdfCanvas(const std::function<void(QPdfWriter &)> &setUp, Deliver deliver, QString destination)
        : m_deliver(std::move(deliver)), m_destination(std::move(destination))
    {
        m_buffer.open(QIODevice::WriteOnly);
        m_writer = std::make_unique<QPdfWriter>(&m_buffer);
        setUp(*m_writer);
        m_canvas = std::make_unique<PainterCanvas>(*m_writer);
    }
    // The painter ends before the writer and the buffer go.
    ~MemoryPdfCanvas() override { m_canvas.reset(); }

    bool isActive() const { return m_canvas->isActive(); }

    void setFontSize(double points) override { m_canvas->setFontSize(points); }
    void setPenWidth(int dots) override { m_canvas->setPenWidth(dots); }
    void moveTo(double x, double y) override { m_canvas->moveTo(x, y); }
    void printLine(const QString &text) override { m_canvas->printLine(text); }
    void line(double x1, double y1, double x2, double y2) override { m_canvas->line(x1, y1, x2, y2); }
    void rectangle(double x1, double y1, double x2, double y2) override
    {
        m_canvas->rectangle(x1, y1, x2, y2);
    }
    bool newPage() override
    {
        if (m_canvas->newPage()) return true;
        m_failure = QStringLiteral("Impossibile comporre le pagine delle cartelle.");
        return false;
    }
    bool endDoc() override
    {
        if (m_ended) return false;
        m_ended = true;
        if (!m_canvas->endDoc()) {
            m_failure = QStringLiteral("Impossibile comporre le pagine delle cartelle.");
            return false;
        }
        return m_deliver(m_buffer.data(), &m_failure);
    }
    QString failure() const override { return m_failure; }
    QString destination() const override { return m_destination; }

private:
    QBuffer m_buffer;
    std::unique_ptr<QPdfWriter> m_writer;
    std::unique_ptr<PainterCanvas> m_canvas;
    Deliver m_deliver;
    QString m_destination;
    QString m_failure;
    bool m_ended = false;
};

// What the user reads when the cards did not reach the printer: the format, and what fills its %1
// and %2 in that order.
struct SendFailure {
    enum Fill { NameThenDetail, DetailThenName, NameOnly };
    Outcome outcome;
    QString format;
    Fill fill;
};

QString sendFailure(Outcome outcome, const QString &name, const QString &detail)
{
    static const std::array<SendFailure, 7> texts{{
        {Outcome::Rejecting,
         QStringLiteral("La stampante %1 rifiuta le stampe: la sua coda non accetta "
                        "lavori%2. Le cartelle non sono state stampate."),
         SendFailure::NameThenDetail},
        {Outcome::Stopped,
         QStringLiteral("La stampante %1 \u00e8 ferma%2: le cartelle non sono state "
                        "inviate. Riattivarla e ristampare, oppure salvare in PDF."),
         SendFailure::NameThenDetail},
        {Outcome::Gone,
         QStringLiteral("La stampante %1 non c'\u00e8 pi\u00f9 sul server di stampa%2: "
                        "le cartelle non sono state stampate."),
         SendFailure::NameThenDetail},
        {Outcome::Refused,
         QStringLiteral("La stampante %1 ha rifiutato la stampa%2: le cartelle non sono "
                        "state stampate."),
         SendFailure::NameThenDetail},
        {Outcome::NoServer,
         QStringLiteral("Il server di stampa non risponde%1: le cartelle non sono state "
                        "inviate alla stampante %2."),
         SendFailure::DetailThenName},
        {Outcome::Abandoned,
         QStringLiteral("Il server di stampa non risponde pi\u00f9: l'invio alla stampante "
                        "%1 non si \u00e8 concluso e le cartelle potrebbero non uscire. "
                        "Controllare la coda di stampa prima di ristampare."),
         SendFailure::NameOnly},
        // Any other failure.
        {Outcome::Failed,
         QStringLiteral("Il server di stampa ha interrotto la stampa su %1%2: le "
                        "cartelle non sono state stampate."),
         SendFailure::NameThenDetail},
    }};
    const auto found = std::find_if(texts.begin(), texts.end(),
                                    [outcome](const SendFailure &t) { return t.outcome == outcome; });
    const SendFailure &text = found != texts.end() ? *found : texts.back();
    switch (text.fill) {
    case SendFailure::NameOnly:
        return text.format.arg(name);
    case SendFailure::DetailThenName:
        return text.format.arg(detail, name);
    case SendFailure::NameThenDetail:
        break;
    }
    return text.format.arg(name, detail);
}

int msecOf(std::chrono::milliseconds d)
{
    return int(std::max<std::chrono::milliseconds::rep>(1, d.count()));
}

} // namespace

int CupsPrinterPort::runningWorkers()
{
    return cups_job::runningWorkers();
}

// The default destination, its paper and the margins it keeps there.
struct CupsPrinterPort::Destination {
    std::string printer;
    std::string media;
    QPageLayout layout;
};

std::optional<CupsPrinterPort::Destination> CupsPrinterPort::lookUpDefault(QString *why) const
{
    const QString noAnswer =
        QStringLiteral("Il server di stampa non risponde%1: riprovare tra poco o controllare "
                       "il servizio di stampa (CUPS), oppure salvare le cartelle in PDF.");
    const int msec = msecOf(m_limits.lookup);
    const Reply found = runBounded([msec](WorkerControl &control) { return lookUp(control, msec); },
                                   m_limits.lookup, m_limits.lookup);
    switch (found.outcome) {
    case Outcome::Done:
        break;
    case Outcome::NoDefault:
        setWhy(why, noDefaultText);
        return std::nullopt;
    case Outcome::Abandoned:
        setWhy(why, noAnswer.arg(QString()));
        return std::nullopt;
    default:
        setWhy(why, noAnswer.arg(detailOf(found.detail)));
        return std::nullopt;
    }

    // The sheet starts at the corner of the printable area, where Qt's printer put it: A4, with the
    // printer's own margins where they pass Qt's 10 points.
    const auto points = [](int hundredthsOfMm) {
        return std::max(leastMargin, hundredthsOfMm / 2540.0 * 72.0);
    };
    QMarginsF margins(leastMargin, leastMargin, leastMargin, leastMargin);
    std::string media;
    if (found.paper) {
        const Paper &p = *found.paper;
        margins = QMarginsF(points(p.left), points(p.top), points(p.right), points(p.bottom));
        media = p.media;
    }
    return Destination{
        found.printer, media,
        QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, margins, QPageLayout::Point)};
}

bool CupsPrinterPort::send(const Destination &to, const QString &title, const QByteArray &pdf,
                           QString *why) const
{
    const std::string data = pdf.toStdString();
    const std::string printer = to.printer, media = to.media, name = title.toStdString();
    const int connectMsec = msecOf(m_limits.stall);
    const Reply sent = runBounded(
        [=](WorkerControl &control) { return submit(control, printer, media, name, data, connectMsec); },
        m_limits.stall, m_limits.handOff);
    if (sent.outcome == Outcome::Done) return true;
    setWhy(why, sendFailure(sent.outcome, quoted(printer), detailOf(sent.detail)));
    return false;
}

std::unique_ptr<CardCanvas> CupsPrinterPort::open(const QString &docName, QString *why)
{
    const auto to = lookUpDefault(why);
    if (!to) return nullptr;
    const Destination destination = *to;
    const CupsPrinterPort *port = this;
    auto canvas = std::make_unique<MemoryPdfCanvas>(
        [&](QPdfWriter &writer) {
            writer.setResolution(1200);
            writer.setPageLayout(destination.layout);
            writer.setTitle(docName);
        },
        [port, destination, docName](const QByteArray &pdf, QString *failure) {
            return port->send(destination, docName, pdf, failure);
        },
        QString::fromStdString(destination.printer));
    if (!canvas->isActive()) {
        setWhy(why, QStringLiteral("Impossibile preparare la stampa delle cartelle."));
        return nullptr;
    }
    return canvas;
}

bool CupsPrinterPort::printPdf(const QByteArray &pdf, const QString &title, QString *why)
{
    const auto to = lookUpDefault(why);
    return to && send(*to, title, pdf, why);
}

namespace
{
// Writes `pdf` into the open temporary `file` and renames it into place; false, with `why`, when the
// disk refused any part of it.
bool commitPdf(QSaveFile &file, const QString &fileName, const QByteArray &pdf, QString *why)
{
    errno = 0;
    int trouble = 0;
    if (file.write(pdf) != pdf.size())
        trouble = errno ? errno : EIO;
    else if (::fsync(file.handle()) != 0)
        trouble = errno;
    if (!trouble) {
        if (file.commit() && file.error() == QFileDevice::NoError) return true;
        trouble = errno ? errno : EIO;
    }
    // Drops the temporary now.
    if (file.isOpen()) {
        file.cancelWriting();
        file.commit();
    }
    setWhy(why, QStringLiteral("Impossibile salvare il file \u00ab%1\u00bb (%2): il file non \u00e8 "
                               "stato scritto.")
                    .arg(fileName, diskTrouble(trouble)));
    return false;
}

// Opens the temporary file for `fileName`; null, with `why`, when it cannot be written there.
// Unbuffered, because Qt 6.4's QSaveFile::commit() reports success when flushing its buffer ran
// out of disk, and renames the empty file into place.
std::shared_ptr<QSaveFile> openSaveFile(const QString &fileName, QString *why)
{
    auto file = std::make_shared<QSaveFile>(fileName);
    errno = 0;
    if (!file->open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        setWhy(why,
               QStringLiteral("Impossibile scrivere il file \u00ab%1\u00bb (%2): controllare la cartella e "
                              "i permessi.")
                   .arg(fileName, diskTrouble(errno)));
        return nullptr;
    }
    return file;
}
} // namespace

std::unique_ptr<CardCanvas> CupsPrinterPort::openPdf(const QString &fileName, QString *why)
{
    // Written under a temporary name and renamed at the end: a failed save leaves no broken file.
    auto file = openSaveFile(fileName, why);
    if (!file) return nullptr;
    auto canvas = std::make_unique<MemoryPdfCanvas>(
        [](QPdfWriter &writer) {
            writer.setResolution(1200);
            writer.setPageSize(QPageSize(QPageSize::A4));
            writer.setTitle(QStringLiteral("Cartelle della tombola"));
        },
        [file, fileName](const QByteArray &pdf, QString *failure) {
            return commitPdf(*file, fileName, pdf, failure);
        },
        fileName);
    if (!canvas->isActive()) {
        setWhy(why, QStringLiteral("Impossibile preparare il file \u00ab%1\u00bb.").arg(fileName));
        return nullptr;
    }
    return canvas;
}

bool CupsPrinterPort::savePdf(const QByteArray &pdf, const QString &fileName, QString *why)
{
    auto file = openSaveFile(fileName, why);
    return file && commitPdf(*file, fileName, pdf, why);
}
