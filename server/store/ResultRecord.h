#pragma once

#include <QDateTime>
#include <QString>

// One uploaded examination result. The candidate fields are filled only when
// results are listed.
struct ResultRecord
{
    qint64 id = 0;
    int candidateId = 0;
    QString courseCode;
    int total = 0;
    int passScore = 0;
    bool passed = false;
    QString detail; // a ResultDetail text
    QDateTime receivedAt;
    QString station; // peer address of the uploading station

    QString candidateNumber;
    QString candidateName;
    QString candidatePid;
    int licenceClass = 0;
    QString centre; // the examination centre of the server that received it
};
