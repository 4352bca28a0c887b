#pragma once

#include "CandidateRecord.h"

#include <QList>
#include <QString>
#include <QStringList>

class ServerStore;

// Reads candidates from a CSV file for the import command. The first row
// names the columns (any order, case ignored):
//   number, course, class, pid, name   required
//   photo, state, id                   optional
// A photo is a file path, relative to the CSV file's folder.
class CandidateImport
{
public:
    // Every row is checked; *errors gets one "line N: reason" per bad row,
    // *lines the line of each good row. True only when the file was read and
    // no row is bad.
    static bool readFile(const QString &path, QList<CandidateRecord> *candidates, QList<int> *lines,
                         QStringList *errors);

    // Rows that are sound on their own may still clash with the database
    // (unknown course, number or id taken): adds a "line N: reason" for each,
    // then puts *errors in file order. False with the reason when the store
    // fails.
    static bool checkAgainst(ServerStore &store, const QList<CandidateRecord> &candidates, const QList<int> &lines,
                             QStringList *errors, QString *why);

    // "B2" or its code "2".
    static bool parseLicenceClass(const QString &text, int *code);
    // The photo file as Base64 text.
    static bool readPhoto(const QString &path, QString *base64, QString *why);
};
