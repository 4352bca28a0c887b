#pragma once

#include "ResultLink.h"

// Results over the station's one link, TcpClient::instance().
class TcpResultLink final : public ResultLink
{
public:
    quint64 connection() const override;
    bool isConnected() const override;
    bool sendChecked(const ResultOutbox::Entry &result) override;
    bool send(const ResultOutbox::Entry &result) override;
    Mark requestCourseList() override;
    Mark courseListAnswer() const override;
};
