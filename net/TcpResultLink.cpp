#include "TcpResultLink.h"

#include "ContestNameMessage.h"
#include "ContestResultMessage.h"
#include "TcpClient.h"

#include <memory>

namespace {

std::unique_ptr<ContestResultMessage> resultMessage(const ResultOutbox::Entry &entry)
{
    auto message = std::make_unique<ContestResultMessage>(true);
    message->setTotalScore(entry.totalScore);
    message->setPassScore(entry.passScore);
    message->setPassed(entry.passed);
    message->setCandidateId(entry.candidateId);
    message->setContestCode(entry.contestCode);
    message->setDetail(entry.detail);
    return message;
}

ResultLink::Mark mark(const TcpClient::Placement &placement)
{
    return ResultLink::Mark{placement.connection, placement.courseRequest};
}

} // namespace

quint64 TcpResultLink::connection() const
{
    return TcpClient::instance().connection();
}

bool TcpResultLink::isConnected() const
{
    return TcpClient::instance().isConnected();
}

bool TcpResultLink::sendChecked(const ResultOutbox::Entry &result)
{
    return TcpClient::instance().sendWithDeliveryCheck(resultMessage(result));
}

bool TcpResultLink::send(const ResultOutbox::Entry &result)
{
    return TcpClient::instance().sendMessage(*resultMessage(result)) >= 0;
}

ResultLink::Mark TcpResultLink::requestCourseList()
{
    TcpClient::Placement placement;
    if (TcpClient::instance().sendMessage(ContestNameMessage(), &placement) < 0)
        return Mark();
    return mark(placement);
}

ResultLink::Mark TcpResultLink::courseListAnswer() const
{
    return mark(TcpClient::instance().courseListAnswer());
}
