#include "StreamSocket.h"

#include <cerrno>

#include <unistd.h>

StreamSocket::~StreamSocket()
{
    close();
}

bool StreamSocket::open(int family, int type, int protocol)
{
    close();
    // Not inherited by programs the process may start.
    m_descriptor = ::socket(family, type | SOCK_CLOEXEC, protocol);
    return m_descriptor >= 0;
}

bool StreamSocket::connectTo(const sockaddr *address, socklen_t length)
{
    if (m_descriptor < 0) {
        errno = EBADF;
        return false;
    }
    int result;
    do
        result = ::connect(m_descriptor, address, length);
    while (result < 0 && errno == EINTR);
    return result == 0;
}

int64_t StreamSocket::send(const char *data, int64_t count)
{
    return ::send(m_descriptor, data, size_t(count), MSG_NOSIGNAL);
}

int64_t StreamSocket::receive(char *destination, int64_t count)
{
    return ::recv(m_descriptor, destination, size_t(count), 0);
}

void StreamSocket::shutdown()
{
    if (m_descriptor >= 0)
        ::shutdown(m_descriptor, SHUT_RDWR);
}

void StreamSocket::close()
{
    if (m_descriptor < 0)
        return;
    ::close(m_descriptor);
    m_descriptor = -1;
}

int StreamSocket::lastError()
{
    return errno;
}
