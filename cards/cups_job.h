#pragma once
// The hand-off to the print server with libcups, one exchange on a worker thread of its own that the
// caller waits for with a deadline.

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>
#include <string>

namespace cups_job
{

using Clock = std::chrono::steady_clock;

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
Reply runBounded(std::function<Reply(WorkerControl &)> work, Clock::duration stall, Clock::duration total);

// Workers still running, given up on or not.
int runningWorkers();

// The default destination and the margins it keeps on A4, the paper the sheet is laid out for.
Reply lookUp(WorkerControl &control, int msec);

// Creates a job on `printer` and sends it the PDF. A job that cannot be completed is cancelled, so
// half a document never prints.
Reply submit(WorkerControl &control, const std::string &printer, const std::string &media,
             const std::string &title, const std::string &pdf, int msec);

} // namespace cups_job
