#pragma once

#include <QString>

// The content database's danger times: "hh:mm:ss" texts whose three fields
// are really minutes, seconds and sixtieths of a second. The station turns a
// code into milliseconds as sixtieths * 50 / 3, truncated, so not every
// millisecond value has a code of its own.
class TimeCode
{
public:
    // The largest code the station can read, 23:59:59, in milliseconds.
    static qint64 largestMilliseconds();

    // True for exactly two digits, ":", two digits, ":", two digits that the
    // station parses as a valid clock time.
    static bool isValid(const QString &code);
    // Milliseconds as the station computes them; 0 for an invalid code.
    static qint64 toMilliseconds(const QString &code);
    // The earliest code the station reads as `milliseconds` or just after
    // it (at most 16 ms later); empty when no code reaches that far.
    static QString fromMilliseconds(qint64 milliseconds);

private:
    static QString fromSixtieths(int sixtieths);
};
