#pragma once

#include <cstdint>

#include <sys/socket.h>

// One connected stream socket over the system's socket calls. Failures are
// reported by the result; lastError() then gives the reason (the calling
// thread's errno), so that two threads using one socket each see their own.
//
// send and receive may run on two threads at once; shutdown may be called
// from a third to wake both. open and close must not overlap any other use.
class StreamSocket
{
public:
    StreamSocket() = default;
    ~StreamSocket();

    StreamSocket(const StreamSocket &) = delete;
    StreamSocket &operator=(const StreamSocket &) = delete;

    bool open(int family, int type, int protocol);
    bool connectTo(const sockaddr *address, socklen_t length);
    // Never raises SIGPIPE: a peer that has gone away is an error result.
    // Gives the bytes taken, or -1.
    int64_t send(const char *data, int64_t count);
    // Gives the bytes received, 0 when the peer has closed, or -1.
    int64_t receive(char *destination, int64_t count);
    // Ends both directions; a thread blocked in send or receive returns.
    void shutdown();
    void close();

    bool isValid() const { return m_descriptor >= 0; }

    static int lastError();

private:
    int m_descriptor = -1;
};
