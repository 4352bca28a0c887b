#include "CandidateState.h"

QString CandidateState::name(Value state)
{
    switch (state) {
    case Ready:
        return QStringLiteral("ready");
    case Examined:
        return QStringLiteral("examined");
    case TheoryNotPassed:
        return QStringLiteral("theory-not-passed");
    case NotRequired:
        return QStringLiteral("not-required");
    }
    return QString();
}

bool CandidateState::fromName(const QString &name, Value *state)
{
    const QString wanted = name.trimmed().toLower();
    for (Value v : {Ready, Examined, TheoryNotPassed, NotRequired}) {
        if (CandidateState::name(v) == wanted) {
            *state = v;
            return true;
        }
    }
    return false;
}

QStringList CandidateState::names()
{
    return {name(Ready), name(Examined), name(TheoryNotPassed), name(NotRequired)};
}
