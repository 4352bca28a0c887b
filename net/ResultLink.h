#pragma once

#include "ResultOutbox.h"

// What the delivery of results needs of the link to the examination server.
// The station's link is TcpResultLink; a unit test puts a small fake here.
//
// A connection is numbered anew for every link made (never 0). The server
// deals with a connection's frames in order and answers every course list
// request with one course list, so the n-th course list received on a
// connection tells that everything queued for it before the n-th request has
// been dealt with.
class ResultLink
{
public:
    // A connection, and a course list request's number among those queued
    // for it (or the answer's among those received on it).
    struct Mark
    {
        quint64 connection = 0;
        quint64 courseRequest = 0;
    };

    virtual ~ResultLink() = default;

    // The connection frames are queued for now.
    virtual quint64 connection() const = 0;
    virtual bool isConnected() const = 0;
    // The delivery check, on the GUI thread: true when the link still stood
    // a moment after the result left. Otherwise the link may have been made
    // anew before this returns, and a result that could be framed waits in
    // the link's queue for the next key exchange.
    virtual bool sendChecked(const ResultOutbox::Entry &result) = 0;
    // Queues the result on the current connection; false when it cannot be
    // framed.
    virtual bool send(const ResultOutbox::Entry &result) = 0;
    // Queues a course list request; where it went (connection 0 when it
    // cannot be framed).
    virtual Mark requestCourseList() = 0;
    // The course list being handled, on the receiving thread.
    virtual Mark courseListAnswer() const = 0;
};
