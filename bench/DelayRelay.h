#pragma once

#include <QtGlobal>

#include <chrono>
#include <thread>

// A network's delay between the tool and a server on 127.0.0.1: a TCP relay on a free port of
// 127.0.0.1, one thread that forwards every connection it accepts to 127.0.0.1:serverPort and
// back. Every chunk it reads, in either direction, is held `hold` from the moment it was read
// before it is sent on, and the chunks of a direction leave in the order they came; Nagle's
// algorithm is off on all its sockets, so nothing else holds them. Holding 0.5 ms each way
// makes 1 ms per round trip. Either side's end of sending is passed on once what came before it
// has gone; a side that fails ends its connection.
class DelayRelay {
public:
    DelayRelay(quint16 serverPort, std::chrono::microseconds hold);
    ~DelayRelay(); // stops the thread and closes every socket
    DelayRelay(const DelayRelay&) = delete;
    DelayRelay& operator=(const DelayRelay&) = delete;

    quint16 port() const { return port_; } // where the relay listens

private:
    void serve();

    quint16 serverPort_;
    std::chrono::nanoseconds hold_;
    quint16 port_ = 0;
    int listener_ = -1;
    int wakePipe_[2] = {-1, -1};
    std::thread thread_;
};
