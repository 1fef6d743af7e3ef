#include "cards/cups_printer.h"

#include "cards/painter_canvas.h"

#include <QBuffer>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QSaveFile>
#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <cups/cups.h>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace
{

using Clock = std::chrono::steady_clock;

// Points: the margins Qt's printer keeps at the least.
constexpr double leastMargin = 10.0;

const QString noDefaultText =
    QStringLiteral("Nessuna stampante predefinita: collegare o configurare una stampante, "
                   "oppure salvare le cartelle in PDF.");

void setWhy(QString *why, const QString &text)
{
    if (why) *why = text;
}

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

// ---- Workers with a deadline

std::atomic<int> running{0};

struct WorkerControl {
    std::atomic<bool> giveUp{false};
    std::atomic<Clock::rep> lastProgress{Clock::now().time_since_epoch().count()};
    void progress() { lastProgress = Clock::now().time_since_epoch().count(); }
};

enum class Outcome { Done, NoServer, NoDefault, Gone, Rejecting, Stopped, Refused, Failed, Abandoned };

// The printer's name for A4 and its margins there, in hundredths of a millimetre.
struct Paper {
    std::string media;
    int left = 0, top = 0, right = 0, bottom = 0;
};

struct Reply {
    Outcome outcome = Outcome::Failed;
    std::string printer;
    std::string detail;
    std::optional<Paper> paper;
};

// Runs `work` on a thread of its own. The caller waits until the work is done, until it has gone
// `stall` without progress, or until `total`; then the worker is told to give up and left behind.
Reply runBounded(std::function<Reply(WorkerControl &)> work, Clock::duration stall, Clock::duration total)
{
    struct Shared {
        std::mutex mutex;
        std::condition_variable done;
        std::optional<Reply> reply;
        WorkerControl control;
    };
    auto shared = std::make_shared<Shared>();
    ++running;
    try {
        std::thread([shared, work = std::move(work)] {
            Reply reply = work(shared->control);
            std::lock_guard lock(shared->mutex);
            shared->reply = std::move(reply);
            --running;
            shared->done.notify_all();
        }).detach();
    } catch (const std::system_error &e) {
        --running;
        return Reply{Outcome::Failed, {}, e.what(), {}};
    }

    const Clock::time_point end = Clock::now() + total;
    std::unique_lock lock(shared->mutex);
    while (!shared->reply) {
        const Clock::time_point quiet =
            Clock::time_point(Clock::duration(shared->control.lastProgress.load())) + stall;
        const Clock::time_point until = std::min(end, quiet);
        if (Clock::now() >= until) {
            shared->control.giveUp = true;
            return Reply{Outcome::Abandoned, {}, {}, {}};
        }
        shared->done.wait_until(lock, until);
    }
    return *shared->reply;
}

// ---- libcups on the worker's side

// Called by libcups each half second a reply is awaited: 0 makes it give up.
int keepWaiting(http_t *, void *control)
{
    return static_cast<WorkerControl *>(control)->giveUp ? 0 : 1;
}

struct HttpCloser {
    void operator()(http_t *http) const { httpClose(http); }
};
using Http = std::unique_ptr<http_t, HttpCloser>;

struct DestFree {
    void operator()(cups_dest_t *dest) const { cupsFreeDests(1, dest); }
};
using Dest = std::unique_ptr<cups_dest_t, DestFree>;

Http connectServer(WorkerControl &control, int msec)
{
    Http http(httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, msec, nullptr));
    if (http) httpSetTimeout(http.get(), 0.5, keepWaiting, &control);
    return http;
}

// The server's or libcups's words for the last failure; empty after a success, and when libcups
// only passes on errno 0 (its "Success" for a server that hung up).
std::string lastError()
{
    if (cupsLastError() <= IPP_STATUS_OK_CONFLICTING) return {};
    const char *text = cupsLastErrorString();
    if (!text || std::strcmp(text, std::strerror(0)) == 0) return {};
    return std::string(text);
}

// The default destination and the margins it keeps on A4, the paper the sheet is laid out for.
Reply lookUp(WorkerControl &control, int msec)
{
    Reply reply;
    Http http = connectServer(control, msec);
    if (!http) {
        reply.outcome = Outcome::NoServer;
        reply.detail = lastError();
        return reply;
    }
    control.progress();
    Dest dest(cupsGetNamedDest(http.get(), nullptr, nullptr));
    if (!dest) {
        const ipp_status_t status = cupsLastError();
        // No default anywhere (server, lpoptions, environment), or one that names no queue.
        reply.outcome = status == IPP_STATUS_ERROR_NOT_FOUND || status <= IPP_STATUS_OK_CONFLICTING
                            ? Outcome::NoDefault
                            : Outcome::NoServer;
        reply.detail = lastError();
        return reply;
    }
    reply.printer = dest->name;
    control.progress();
    if (cups_dinfo_t *info = cupsCopyDestInfo(http.get(), dest.get())) {
        cups_size_t size{};
        if (cupsGetDestMediaByName(http.get(), dest.get(), info, CUPS_MEDIA_A4, CUPS_MEDIA_FLAGS_DEFAULT,
                                   &size))
            reply.paper = Paper{size.media, size.left, size.top, size.right, size.bottom};
        cupsFreeDestInfo(info);
    }
    reply.outcome = Outcome::Done;
    return reply;
}

// Whether `printer` takes a job now. A stopped printer would keep the job in its queue, to come out
// who knows when: that is a refusal too.
Reply printerState(http_t *http, const std::string &printer)
{
    Reply reply;
    ipp_t *request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(),
                     "/printers/%s", printer.c_str());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
    static const char *const wanted[] = {"printer-state", "printer-state-message",
                                         "printer-is-accepting-jobs"};
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 3, nullptr, wanted);
    ipp_t *response = cupsDoRequest(http, request, "/");
    const ipp_status_t status = cupsLastError();
    if (!response || status > IPP_STATUS_OK_CONFLICTING) {
        reply.outcome = status == IPP_STATUS_ERROR_NOT_FOUND ? Outcome::Gone : Outcome::Failed;
        reply.detail = lastError();
        ippDelete(response);
        return reply;
    }
    if (const char *message =
            ippGetString(ippFindAttribute(response, "printer-state-message", IPP_TAG_TEXT), 0, nullptr))
        reply.detail = message;
    reply.outcome = Outcome::Done;
    if (!ippGetBoolean(ippFindAttribute(response, "printer-is-accepting-jobs", IPP_TAG_BOOLEAN), 0))
        reply.outcome = Outcome::Rejecting;
    else if (ippGetInteger(ippFindAttribute(response, "printer-state", IPP_TAG_ENUM), 0) ==
             IPP_PSTATE_STOPPED)
        reply.outcome = Outcome::Stopped;
    ippDelete(response);
    return reply;
}

Outcome refusal(ipp_status_t status)
{
    switch (status) {
    case IPP_STATUS_ERROR_NOT_ACCEPTING_JOBS:
        return Outcome::Rejecting;
    case IPP_STATUS_ERROR_NOT_FOUND:
        return Outcome::Gone;
    case IPP_STATUS_ERROR_FORBIDDEN:
    case IPP_STATUS_ERROR_NOT_AUTHENTICATED:
    case IPP_STATUS_ERROR_NOT_AUTHORIZED:
    case IPP_STATUS_ERROR_NOT_POSSIBLE:
    case IPP_STATUS_ERROR_DOCUMENT_FORMAT_NOT_SUPPORTED:
    case IPP_STATUS_ERROR_REQUEST_ENTITY:
        return Outcome::Refused;
    default:
        return Outcome::Failed;
    }
}

// Creates a job on `printer` and sends it the PDF. A job that cannot be completed is cancelled, so
// half a document never prints.
Reply submit(WorkerControl &control, const std::string &printer, const std::string &media,
             const std::string &title, const std::string &pdf, int msec)
{
    Reply reply;
    reply.printer = printer;
    Http http = connectServer(control, msec);
    if (!http) {
        reply.outcome = Outcome::NoServer;
        reply.detail = lastError();
        return reply;
    }
    control.progress();

    reply = printerState(http.get(), printer);
    reply.printer = printer;
    if (reply.outcome != Outcome::Done || control.giveUp) return reply;
    control.progress();

    // The paper the sheet was drawn for, whatever the printer's default.
    cups_option_t *options = nullptr;
    const int optionCount = media.empty() ? 0 : cupsAddOption("media", media.c_str(), 0, &options);
    const int job = cupsCreateJob(http.get(), printer.c_str(), title.c_str(), optionCount, options);
    cupsFreeOptions(optionCount, options);
    if (job == 0) {
        reply.outcome = refusal(cupsLastError());
        reply.detail = lastError();
        return reply;
    }
    control.progress();
    // On a new connection: the old one may be in the middle of a request. Against a stalled server
    // the cancel waits in the socket and takes effect once the server wakes.
    const auto fail = [&](Outcome outcome) {
        reply.outcome = outcome;
        reply.detail = lastError();
        http.reset();
        if (Http again = connectServer(control, msec)) cupsCancelJob2(again.get(), printer.c_str(), job, 0);
        return reply;
    };
    if (cupsStartDocument(http.get(), printer.c_str(), job, title.c_str(), CUPS_FORMAT_PDF, 1) !=
        HTTP_STATUS_CONTINUE)
        return fail(Outcome::Failed);
    constexpr std::size_t block = 64 * 1024;
    for (std::size_t at = 0; at < pdf.size(); at += block) {
        if (control.giveUp) return fail(Outcome::Abandoned);
        if (cupsWriteRequestData(http.get(), pdf.data() + at, std::min(block, pdf.size() - at)) !=
            HTTP_STATUS_CONTINUE)
            return fail(Outcome::Failed);
        control.progress();
    }
    // cupsFinishDocument() reports success when the server hangs up instead of answering: read the
    // answer here, and only an answer that says yes counts.
    const std::string resource = "/printers/" + printer;
    ipp_t *answer = cupsGetResponse(http.get(), resource.c_str());
    if (!answer) return fail(Outcome::Failed);
    const ipp_status_t status = ippGetStatusCode(answer);
    ippDelete(answer);
    if (status > IPP_STATUS_OK_CONFLICTING) return fail(refusal(status));
    reply.outcome = Outcome::Done;
    return reply;
}

// ---- The canvas

// Draws into a PDF in memory; endDoc() hands the finished PDF to `deliver`, which says why not.
class MemoryPdfCanvas : public CardCanvas
{
public:
    using Deliver = std::function<bool(const QByteArray &pdf, QString *why)>;

    MemoryPdfCanvas(const std::function<void(QPdfWriter &)> &setUp, Deliver deliver)
        : m_deliver(std::move(deliver))
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

private:
    QBuffer m_buffer;
    std::unique_ptr<QPdfWriter> m_writer;
    std::unique_ptr<PainterCanvas> m_canvas;
    Deliver m_deliver;
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
    return running;
}

std::unique_ptr<CardCanvas> CupsPrinterPort::open(const QString &docName, QString *why)
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
        return nullptr;
    case Outcome::Abandoned:
        setWhy(why, noAnswer.arg(QString()));
        return nullptr;
    default:
        setWhy(why, noAnswer.arg(detailOf(found.detail)));
        return nullptr;
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
    const QPageLayout layout(QPageSize(QPageSize::A4), QPageLayout::Portrait, margins, QPageLayout::Point);
    const std::string printer = found.printer;
    const std::string title = docName.toStdString();
    const Limits limits = m_limits;
    auto canvas = std::make_unique<MemoryPdfCanvas>(
        [&](QPdfWriter &writer) {
            writer.setResolution(1200);
            writer.setPageLayout(layout);
            writer.setTitle(docName);
        },
        [printer, media, title, limits](const QByteArray &pdf, QString *failure) {
            const std::string data = pdf.toStdString();
            const int connectMsec = msecOf(limits.stall);
            const Reply sent = runBounded(
                [=](WorkerControl &control) {
                    return submit(control, printer, media, title, data, connectMsec);
                },
                limits.stall, limits.handOff);
            if (sent.outcome == Outcome::Done) return true;
            setWhy(failure, sendFailure(sent.outcome, quoted(printer), detailOf(sent.detail)));
            return false;
        });
    if (!canvas->isActive()) {
        setWhy(why, QStringLiteral("Impossibile preparare la stampa delle cartelle."));
        return nullptr;
    }
    return canvas;
}

std::unique_ptr<CardCanvas> CupsPrinterPort::openPdf(const QString &fileName, QString *why)
{
    // Written under a temporary name and renamed at the end: a failed save leaves no broken file.
    // Unbuffered, because Qt 6.4's QSaveFile::commit() reports success when flushing its buffer
    // ran out of disk, and renames the empty file into place.
    auto file = std::make_shared<QSaveFile>(fileName);
    errno = 0;
    if (!file->open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        setWhy(why,
               QStringLiteral("Impossibile scrivere il file \u00ab%1\u00bb (%2): controllare la cartella e "
                              "i permessi.")
                   .arg(fileName, diskTrouble(errno)));
        return nullptr;
    }
    auto canvas = std::make_unique<MemoryPdfCanvas>(
        [](QPdfWriter &writer) {
            writer.setResolution(1200);
            writer.setPageSize(QPageSize(QPageSize::A4));
            writer.setTitle(QStringLiteral("Cartelle della tombola"));
        },
        [file, fileName](const QByteArray &pdf, QString *failure) {
            errno = 0;
            int trouble = 0;
            if (file->write(pdf) != pdf.size())
                trouble = errno ? errno : EIO;
            else if (::fsync(file->handle()) != 0)
                trouble = errno;
            if (!trouble) {
                if (file->commit() && file->error() == QFileDevice::NoError) return true;
                trouble = errno ? errno : EIO;
            }
            // Drops the temporary now, not when the canvas goes.
            if (file->isOpen()) {
                file->cancelWriting();
                file->commit();
            }
            setWhy(failure,
                   QStringLiteral("Impossibile salvare il file \u00ab%1\u00bb (%2): il file non \u00e8 "
                                  "stato scritto.")
                       .arg(fileName, diskTrouble(trouble)));
            return false;
        });
    if (!canvas->isActive()) {
        setWhy(why, QStringLiteral("Impossibile preparare il file \u00ab%1\u00bb.").arg(fileName));
        return nullptr;
    }
    return canvas;
}
