#pragma once

class QTcpSocket;

// A station that vanishes without a word (power lost, cable pulled) is found
// by the keep-alive probes instead of occupying a session, and holding its
// candidate, for ever.
class DeadPeerDetection
{
public:
    // The system's keep-alive starts probing after two hours of silence, and
    // unacknowledged data is retried for about a quarter of an hour; these
    // bounds let the candidate be entered elsewhere within about a minute
    // and a half.
    static constexpr int keepAliveIdleSeconds = 60;
    static constexpr int keepAliveIntervalSeconds = 10;
    static constexpr int keepAliveProbes = 3;
    static constexpr unsigned int unacknowledgedLimitMs = 90000;

    static void bound(QTcpSocket *socket);
};
