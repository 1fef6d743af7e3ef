#pragma once
// A print server inside the test process: just enough IPP over HTTP/1.1 on a unix socket for the
// printer port, with one printer, "FINTA". Each operation can be answered, refused, left without
// an answer, or met by a hang-up, so every step of a hand-off can fail on cue, with no cupsd.

#include <QString>
#include <atomic>
#include <cstring>
#include <cups/cups.h>
#include <map>
#include <mutex>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

class FakeIppServer
{
public:
    enum class Act { Answer, Stall, HangUp };
    struct Rule {
        Act act = Act::Answer;
        ipp_status_t status = IPP_STATUS_OK;
        std::string message;
    };
    // What the server was sent.
    struct Seen {
        std::vector<ipp_op_t> ops;
        std::string jobName;
        std::string media;
        std::string document;
        int connections = 0;
    };

    // The printer as it describes itself.
    bool acceptingJobs = true;
    ipp_pstate_t state = IPP_PSTATE_IDLE;
    std::string stateMessage;
    // Margins on A4, hundredths of a millimetre: left, top, right, bottom.
    int margins[4] = {635, 423, 635, 423};

    explicit FakeIppServer(const QString &socketPath) : m_path(socketPath.toStdString())
    {
        m_listen = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        if (m_listen < 0 || m_path.size() >= sizeof addr.sun_path) return;
        std::memcpy(addr.sun_path, m_path.c_str(), m_path.size() + 1);
        if (::bind(m_listen, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 ||
            ::listen(m_listen, 16) != 0)
            return;
        m_listening = true;
        m_acceptor = std::thread([this] { acceptLoop(); });
    }

    ~FakeIppServer()
    {
        m_stopping = true;
        if (m_acceptor.joinable()) m_acceptor.join();
        for (std::thread &t : m_connections)
            t.join();
        if (m_listen >= 0) ::close(m_listen);
        ::unlink(m_path.c_str());
    }

    bool listening() const { return m_listening; }

    void on(ipp_op_t op, Act act, ipp_status_t status = IPP_STATUS_OK, const std::string &message = {})
    {
        std::lock_guard lock(m_mutex);
        m_rules[op] = Rule{act, status, message};
    }

    Seen seen() const
    {
        std::lock_guard lock(m_mutex);
        return m_seen;
    }

    bool saw(ipp_op_t op) const
    {
        const Seen s = seen();
        return std::find(s.ops.begin(), s.ops.end(), op) != s.ops.end();
    }

private:
    struct Reader {
        const std::string *data;
        std::size_t at = 0;
    };

    static ssize_t readFrom(void *context, ipp_uchar_t *buffer, size_t bytes)
    {
        auto *r = static_cast<Reader *>(context);
        const std::size_t n = std::min(bytes, r->data->size() - r->at);
        std::memcpy(buffer, r->data->data() + r->at, n);
        r->at += n;
        return ssize_t(n);
    }

    static ssize_t writeTo(void *context, ipp_uchar_t *buffer, size_t bytes)
    {
        static_cast<std::string *>(context)->append(reinterpret_cast<const char *>(buffer), bytes);
        return ssize_t(bytes);
    }

    void acceptLoop()
    {
        while (!m_stopping) {
            pollfd p{m_listen, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) continue;
            {
                std::lock_guard lock(m_mutex);
                ++m_seen.connections;
            }
            m_connections.emplace_back([this, fd] {
                serve(fd);
                ::close(fd);
            });
        }
    }

    // Fills `pending` until it holds `bytes`; false when the peer went or the server stops.
    bool fill(int fd, std::string &pending, std::size_t bytes)
    {
        char chunk[16384];
        while (pending.size() < bytes) {
            if (m_stopping) return false;
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
            if (n <= 0) return false;
            pending.append(chunk, std::size_t(n));
        }
        return true;
    }

    bool readLine(int fd, std::string &pending, std::string &line)
    {
        std::size_t end;
        while ((end = pending.find("\r\n")) == std::string::npos)
            if (!fill(fd, pending, pending.size() + 1)) return false;
        line = pending.substr(0, end);
        pending.erase(0, end + 2);
        return true;
    }

    bool take(int fd, std::string &pending, std::size_t bytes, std::string &out)
    {
        if (!fill(fd, pending, bytes)) return false;
        out.append(pending, 0, bytes);
        pending.erase(0, bytes);
        return true;
    }

    bool send(int fd, const std::string &data)
    {
        std::size_t at = 0;
        while (at < data.size()) {
            const ssize_t n = ::send(fd, data.data() + at, data.size() - at, MSG_NOSIGNAL);
            if (n <= 0) return false;
            at += std::size_t(n);
        }
        return true;
    }

    void serve(int fd)
    {
        std::string pending;
        for (;;) {
            // Request line and headers.
            std::string line;
            long length = 0;
            bool chunked = false, expect = false;
            if (!readLine(fd, pending, line)) return;
            while (readLine(fd, pending, line) && !line.empty()) {
                const std::string lower = QString::fromStdString(line).toLower().toStdString();
                if (lower.rfind("content-length:", 0) == 0) length = std::stol(lower.substr(15));
                if (lower.rfind("transfer-encoding:", 0) == 0 && lower.find("chunked") != std::string::npos)
                    chunked = true;
                if (lower.rfind("expect:", 0) == 0) expect = true;
            }
            if (m_stopping) return;
            if (expect && !send(fd, "HTTP/1.1 100 Continue\r\n\r\n")) return;

            std::string body;
            if (chunked) {
                for (;;) {
                    if (!readLine(fd, pending, line)) return;
                    const std::size_t size = std::stoul(line, nullptr, 16);
                    if (size == 0) {
                        while (readLine(fd, pending, line) && !line.empty()) {
                        }
                        break;
                    }
                    std::string crlf;
                    if (!take(fd, pending, size, body) || !take(fd, pending, 2, crlf)) return;
                }
            } else if (length > 0 && !take(fd, pending, std::size_t(length), body)) {
                return;
            }
            if (!answer(fd, body)) return;
        }
    }

    void addPrinter(ipp_t *response)
    {
        ippAddString(response, IPP_TAG_PRINTER, IPP_TAG_NAME, "printer-name", nullptr, "FINTA");
        ippAddString(response, IPP_TAG_PRINTER, IPP_TAG_URI, "printer-uri-supported", nullptr,
                     "ipp://localhost/printers/FINTA");
        ippAddInteger(response, IPP_TAG_PRINTER, IPP_TAG_ENUM, "printer-state", state);
        ippAddString(response, IPP_TAG_PRINTER, IPP_TAG_TEXT, "printer-state-message", nullptr,
                     stateMessage.c_str());
        ippAddBoolean(response, IPP_TAG_PRINTER, "printer-is-accepting-jobs", acceptingJobs);
        ippAddString(response, IPP_TAG_PRINTER, IPP_TAG_MIMETYPE, "document-format-supported", nullptr,
                     "application/pdf");
        ippAddString(response, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "media-supported", nullptr, CUPS_MEDIA_A4);
        ippAddString(response, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "media-default", nullptr, CUPS_MEDIA_A4);
        ipp_t *size = ippNew();
        ippAddInteger(size, IPP_TAG_ZERO, IPP_TAG_INTEGER, "x-dimension", 21000);
        ippAddInteger(size, IPP_TAG_ZERO, IPP_TAG_INTEGER, "y-dimension", 29700);
        ipp_t *media = ippNew();
        ippAddCollection(media, IPP_TAG_ZERO, "media-size", size);
        ippAddInteger(media, IPP_TAG_ZERO, IPP_TAG_INTEGER, "media-left-margin", margins[0]);
        ippAddInteger(media, IPP_TAG_ZERO, IPP_TAG_INTEGER, "media-top-margin", margins[1]);
        ippAddInteger(media, IPP_TAG_ZERO, IPP_TAG_INTEGER, "media-right-margin", margins[2]);
        ippAddInteger(media, IPP_TAG_ZERO, IPP_TAG_INTEGER, "media-bottom-margin", margins[3]);
        ippAddCollection(response, IPP_TAG_PRINTER, "media-col-database", media);
        ippAddCollection(response, IPP_TAG_PRINTER, "media-col-default", media);
        ippDelete(media);
        ippDelete(size);
    }

    // Acts on one request; false when the connection is to end.
    bool answer(int fd, const std::string &body)
    {
        Reader reader{&body};
        ipp_t *request = ippNew();
        if (ippReadIO(&reader, readFrom, 1, nullptr, request) != IPP_STATE_DATA) {
            ippDelete(request);
            return false;
        }
        const ipp_op_t op = ippGetOperation(request);
        Rule rule;
        {
            std::lock_guard lock(m_mutex);
            m_seen.ops.push_back(op);
            if (op == IPP_OP_CREATE_JOB) {
                if (const char *name =
                        ippGetString(ippFindAttribute(request, "job-name", IPP_TAG_NAME), 0, nullptr))
                    m_seen.jobName = name;
                if (const char *m =
                        ippGetString(ippFindAttribute(request, "media", IPP_TAG_KEYWORD), 0, nullptr))
                    m_seen.media = m;
            }
            if (op == IPP_OP_SEND_DOCUMENT) m_seen.document = body.substr(reader.at);
            if (auto it = m_rules.find(op); it != m_rules.end()) rule = it->second;
        }
        if (rule.act == Act::HangUp) {
            ippDelete(request);
            return false;
        }
        if (rule.act == Act::Stall) {
            ippDelete(request);
            while (!m_stopping)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            return false;
        }

        ipp_t *response = ippNewResponse(request);
        ippSetStatusCode(response, rule.status);
        if (!rule.message.empty())
            ippAddString(response, IPP_TAG_OPERATION, IPP_TAG_TEXT, "status-message", nullptr,
                         rule.message.c_str());
        if (rule.status <= IPP_STATUS_OK_CONFLICTING) {
            if (op == IPP_OP_CUPS_GET_DEFAULT || op == IPP_OP_GET_PRINTER_ATTRIBUTES) addPrinter(response);
            if (op == IPP_OP_CREATE_JOB || op == IPP_OP_SEND_DOCUMENT) {
                ippAddInteger(response, IPP_TAG_JOB, IPP_TAG_INTEGER, "job-id", 7);
                ippAddInteger(response, IPP_TAG_JOB, IPP_TAG_ENUM, "job-state", IPP_JSTATE_PENDING);
            }
        }
        std::string out;
        ippSetState(response, IPP_STATE_IDLE);
        ippWriteIO(&out, writeTo, 1, nullptr, response);
        ippDelete(response);
        ippDelete(request);
        return send(fd, "HTTP/1.1 200 OK\r\nContent-Type: application/ipp\r\nContent-Length: " +
                            std::to_string(out.size()) + "\r\n\r\n" + out);
    }

    std::string m_path;
    int m_listen = -1;
    bool m_listening = false;
    std::atomic<bool> m_stopping{false};
    std::thread m_acceptor;
    std::vector<std::thread> m_connections; // only the acceptor adds, only the destructor joins
    mutable std::mutex m_mutex;
    std::map<ipp_op_t, Rule> m_rules;
    Seen m_seen;
};
