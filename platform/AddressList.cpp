#include "AddressList.h"

#include <netdb.h>

AddressList::~AddressList()
{
    clear();
}

int AddressList::resolve(const char *host, const char *port)
{
    clear();
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    const int error = ::getaddrinfo(host, port, &hints, &m_list);
    if (error != 0) {
        m_list = nullptr;
        return error;
    }
    for (const addrinfo *entry = m_list; entry; entry = entry->ai_next)
        m_entries.push_back(entry);
    return 0;
}

void AddressList::clear()
{
    m_entries.clear();
    if (m_list)
        ::freeaddrinfo(m_list);
    m_list = nullptr;
}

int AddressList::family(int index) const
{
    return m_entries[size_t(index)]->ai_family;
}

int AddressList::socketType(int index) const
{
    return m_entries[size_t(index)]->ai_socktype;
}

int AddressList::protocol(int index) const
{
    return m_entries[size_t(index)]->ai_protocol;
}

const sockaddr *AddressList::address(int index) const
{
    return m_entries[size_t(index)]->ai_addr;
}

socklen_t AddressList::addressLength(int index) const
{
    return m_entries[size_t(index)]->ai_addrlen;
}
