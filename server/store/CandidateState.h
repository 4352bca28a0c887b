#pragma once

#include <QString>
#include <QStringList>

// Where a candidate stands with the simulation test, as the operator records
// it. The state decides the server's answer to an entry request; the one
// transition the server makes by itself is ready -> examined when a result
// arrives.
class CandidateState
{
public:
    enum Value {
        Ready,           // may sit the examination: answer 0
        Examined,        // has sat it: answer 2 (review) when a result is stored
        TheoryNotPassed, // has not passed the theory test yet: answer 5
        NotRequired,     // does not take the simulation test: answer 6
    };

    // The names used on the command line, in CSV files and in the database.
    static QString name(Value state);
    // False for an unknown name; *state is then left alone.
    static bool fromName(const QString &name, Value *state);
    static QStringList names();
};
