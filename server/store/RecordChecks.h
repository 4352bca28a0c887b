#pragma once

#include "CandidateRecord.h"
#include "CourseRecord.h"
#include "ResultRecord.h"

#include <QString>

class ServerStore;

// What the server's records must be before they are stored: the fields of
// courses, candidates and results on their own, the rules an uploaded result
// must meet against its candidate, and the clashes of a new candidate with
// the database. The store and the import both ask here, so the commands,
// the import and the stations are held to the same rules. Each check returns
// false with the reason in *why.
class RecordChecks
{
public:
    // The largest encrypted entry answer a frame can carry bounds the
    // candidate's texts: identity number, name and photo together.
    static constexpr int maxIdentityBytes = 65504 - 24;

    static bool checkCourse(const CourseRecord &course, QString *why);
    static bool checkCandidate(const CandidateRecord &candidate, QString *why);
    // A stored result must be a whole examination that can be reviewed
    // later: one score, flag time and situation id for each situation,
    // scores adding up to the total, the verdict true to the pass mark.
    static bool checkResult(const ResultRecord &result, QString *why);

    // An upload belongs to its candidate's course and carries the pass mark
    // of the candidate's licence class: a station cannot pick its own.
    static bool checkUpload(const CandidateRecord &candidate, const ResultRecord &result, QString *why);
    // Only an admitted candidate produces a new result (a repetition of a
    // stored one is told apart before this).
    static bool checkNewResult(const CandidateRecord &candidate, const ResultRecord &result, QString *why);

    // What keeps a candidate sound on its own from being added, in the order
    // they are looked up; Failed leaves the reason in the store's lastError().
    enum class Clash { None, NoCourse, NumberTaken, IdTaken, Failed };
    static Clash clashOf(ServerStore &store, const CandidateRecord &candidate);
};
