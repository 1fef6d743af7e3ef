#include "send_floor.h"

#include "bench_support.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace
{
// The readers: `sockets` connections to `to`, read under one epoll until the parent kills them.
[[noreturn]] void readAll(const sockaddr_in &to, int sockets)
{
    const int ep = epoll_create1(0);
    for (int i = 0; i < sockets; ++i) {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        if (fd < 0 || connect(fd, reinterpret_cast<const sockaddr *>(&to), sizeof to) != 0) _exit(1);
        epoll_event e{};
        e.events = EPOLLIN;
        e.data.fd = fd;
        epoll_ctl(ep, EPOLL_CTL_ADD, fd, &e);
    }
    char buffer[4096];
    epoll_event ready[256];
    for (;;) {
        const int n = epoll_wait(ep, ready, 256, -1);
        for (int k = 0; k < n; ++k)
            if (recv(ready[k].data.fd, buffer, sizeof buffer, 0) == 0) _exit(0);
    }
}
} // namespace

double sendFloorMs(int sockets, int bytes, int rounds)
{
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof at;
    if (listener < 0 || bind(listener, reinterpret_cast<sockaddr *>(&at), sizeof at) != 0 ||
        listen(listener, 4096) != 0 || getsockname(listener, reinterpret_cast<sockaddr *>(&at), &length) != 0)
        return -1;
    const pid_t readers = fork();
    if (readers < 0) return -1;
    if (readers == 0) readAll(at, sockets);
    std::vector<int> phones;
    for (int i = 0; i < sockets; ++i) {
        const int fd = accept(listener, nullptr, nullptr);
        if (fd < 0) break;
        const int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        phones.push_back(fd);
    }
    close(listener);
    const std::vector<char> message(std::size_t(bytes), 'x');
    double spent = 0;
    for (int r = 0; r < rounds && int(phones.size()) == sockets; ++r) {
        const double before = cpuSeconds();
        for (const int fd : phones)
            send(fd, message.data(), message.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        spent += cpuSeconds() - before;
        const timespec pause{0, 100'000'000};
        nanosleep(&pause, nullptr);
    }
    const bool whole = int(phones.size()) == sockets;
    for (const int fd : phones)
        close(fd);
    kill(readers, SIGKILL);
    waitpid(readers, nullptr, 0);
    return whole ? spent * 1000 / rounds : -1;
}
