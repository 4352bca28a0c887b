#pragma once

#include <QString>

// Asks ffprobe about a media file: whether it holds a video stream and how
// long it lasts.
class MediaProbe
{
public:
    // How far a length recorded for a clip may stray from the measured one:
    // container rounding, nothing more. The station lays its timeline out
    // from the recorded lengths, so the builder and the verifier must agree.
    static constexpr qint64 durationToleranceMs = 250;

    // True when the file has a video stream and a duration; the duration is
    // rounded to whole milliseconds. On failure `error` says why.
    static bool probe(const QString &path, qint64 *durationMs, QString *error);
    static bool isAvailable();
};
