#pragma once

#include <QString>

// One line of a content manifest, as read and then completed by the builder.
struct ManifestRow
{
    int line = 0;          // 1-based line in the manifest, for messages
    QString sourceFile;    // absolute path of the plain mp4
    int chapter = 0;       // 1..6 for situations, 0 for the count-down clip
    int th = 0;            // order within the chapter; also its situation number
    QString startText;     // as written: milliseconds or a time code
    QString endText;
    int id = 0;            // 0 when not given
    qint64 duration = -1;  // milliseconds; -1 when not given

    // Filled in by the builder.
    QString name;          // file name inside the pack's videos folder
    QString startCode;
    QString endCode;

    bool isCountDown() const { return chapter == 0; }
};
