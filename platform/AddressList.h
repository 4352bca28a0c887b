#pragma once

#include <vector>

#include <sys/socket.h>

struct addrinfo;

// The addresses a host and port resolve to, for a stream connection over
// IPv4 or IPv6, in the resolver's order. Owns the resolver's list.
class AddressList
{
public:
    AddressList() = default;
    ~AddressList();

    AddressList(const AddressList &) = delete;
    AddressList &operator=(const AddressList &) = delete;

    // Replaces the list. 0 on success, otherwise the resolver's error code
    // (a getaddrinfo EAI_ value) and an empty list.
    int resolve(const char *host, const char *port);
    void clear();

    // Entries are numbered 0 to count() - 1.
    int count() const { return int(m_entries.size()); }
    int family(int index) const;
    int socketType(int index) const;
    int protocol(int index) const;
    const sockaddr *address(int index) const;
    socklen_t addressLength(int index) const;

private:
    addrinfo *m_list = nullptr;
    // The list's entries in order, for access by index.
    std::vector<const addrinfo *> m_entries;
};
