#pragma once
// The kernel's own price of what the phones' server does for each phone at each number: one send()
// of `bytes` to each of `sockets` loopback TCP connections, their readers in another process under
// one epoll, `rounds` times a tenth of a second apart. Nothing of Qt or of the program: what no
// server can spend less than on this machine. Returns the sender's CPU per round in ms (user and
// system), or a negative value when the connections could not be made.

double sendFloorMs(int sockets, int bytes, int rounds);
