#pragma once

#include "CandidateState.h"

#include <QString>

// One candidate registered for one course. The id is what stations echo back
// in their confirmations and results.
struct CandidateRecord
{
    int id = 0; // 0: let the store choose one
    QString number;
    QString courseCode;
    int licenceClass = 0; // 0..9, "B11" .. "FE"
    QString pid;
    QString fullName;
    QString photoBase64;
    CandidateState::Value state = CandidateState::Ready;
};
