#include "link/NetworkSocket.h"

#include <QElapsedTimer>

void NetworkSocket::close() {
    if (!isOpen())
        return;
    if (shutdownSending())
        awaitTheServersEnd();
    release();
}

void NetworkSocket::awaitTheServersEnd() {
    QElapsedTimer clock;
    clock.start();
    char bytes[1024];
    while (clock.elapsed() < EndWaitMs) {
        const qint64 received = receiveSome(bytes, sizeof bytes);
        if (received == Closed || received == Broken)
            return;
        if (received == NothingYet && waitReadable(int(EndWaitMs - clock.elapsed())) != Wait::Ready)
            return;
    }
}
