#pragma once

// Asks the operator whether to try the examination server again after no
// address accepted the connection. The link asks on the thread that
// connects, which is the GUI thread in the station; the station's entry
// point installs its question (TcpClient::setRetryQuestion), so that the link
// itself needs no widgets.
class RetryQuestion
{
public:
    virtual ~RetryQuestion() = default;

    // True to walk the server's addresses once more.
    virtual bool askRetry() = 0;
};
