#include "cards/cups_job.h"

#include "cards/cards_log.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <cups/cups.h>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

Q_LOGGING_CATEGORY(lcCards, "tombola.cards", QtInfoMsg)

namespace cups_job
{

namespace
{

std::atomic<int> running{0};

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

// A connection for `reply`'s exchange; none, with the failure in `reply`, when the server cannot be
// reached.
Http connectFor(WorkerControl &control, int msec, Reply &reply)
{
    Http http = connectServer(control, msec);
    if (!http) {
        reply.outcome = Outcome::NoServer;
        reply.detail = lastError();
        return http;
    }
    control.progress();
    return http;
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

} // namespace

int runningWorkers()
{
    return running;
}

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
        qCWarning(lcCards) << "a print job's thread could not start:" << e.what();
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

Reply lookUp(WorkerControl &control, int msec)
{
    Reply reply;
    Http http = connectFor(control, msec, reply);
    if (!http) return reply;
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

Reply submit(WorkerControl &control, const std::string &printer, const std::string &media,
             const std::string &title, const std::string &pdf, int msec)
{
    Reply reply;
    reply.printer = printer;
    Http http = connectFor(control, msec, reply);
    if (!http) return reply;

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

} // namespace cups_job
