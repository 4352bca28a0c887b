#pragma once

class QWidget;

// Asks the operator whether to try the examination server again after no
// address accepted the connection. The link asks on the thread that
// connects, which is the GUI thread in the station.
class RetryQuestion
{
public:
    virtual ~RetryQuestion() = default;

    // True to walk the server's addresses once more.
    virtual bool askRetry(QWidget *parent) = 0;
};
