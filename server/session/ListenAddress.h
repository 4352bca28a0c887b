#pragma once

#include <QHostAddress>
#include <QString>

// The address a server listens on, as an operator writes it: HOST:PORT,
// where HOST is an IP address (an IPv6 one may be bracketed), "localhost",
// or "*" for every interface; PORT 0 lets the system choose.
class ListenAddress
{
public:
    // False, leaving the outputs alone, for anything else.
    static bool parse(const QString &text, QHostAddress *address, quint16 *port);
    // The address as parse() reads it back: IPv6 in brackets.
    static QString toString(const QHostAddress &address, quint16 port);
};
