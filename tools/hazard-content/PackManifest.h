#pragma once

#include "ManifestRow.h"

#include <QList>
#include <QString>
#include <QStringList>

// Reads a content manifest: CSV lines "file,chapter,th,danger_start,
// danger_end[,id[,duration_ms]]", an optional header line starting with
// "file", blank lines and lines starting with "#" ignored. Files are relative
// to the manifest's folder. Chapter 0 marks the count-down clip, whose other
// fields may be empty or 0.
class PackManifest
{
public:
    bool read(const QString &path);

    QList<ManifestRow> rows() const { return m_rows; }
    QStringList errors() const { return m_errors; }

private:
    void parseLine(int lineNumber, const QString &text, const QString &folder);
    void error(int lineNumber, const QString &text);

    QList<ManifestRow> m_rows;
    QStringList m_errors;
};
