#pragma once

#include "ManifestRow.h"
#include "PackSecrets.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

// Turns plain mp4 files and a manifest into a content pack a station
// accepts: OUTDIR/ksm.db (the encrypted table `video`) and OUTDIR/videos
// (each file with its first MiB enciphered). Everything is checked before
// anything is written, and the pack is assembled beside OUTDIR and renamed
// into place at the end, so a failure never leaves a partial pack behind.
class PackBuilder
{
public:
    // Salt, password and video key to use; the digest is computed.
    void setSecrets(const PackSecrets &secrets) { m_secrets = secrets; }
    // Allows replacing an existing pack at OUTDIR.
    void setReplaceExisting(bool replace) { m_replaceExisting = replace; }

    bool build(const QString &manifestPath, const QString &outDir);

    QStringList errors() const { return m_errors; }
    // Remarks that do not stop the build, such as rounded danger times.
    QStringList notes() const { return m_notes; }
    // After a successful build: the values a station needs, digest included.
    PackSecrets secrets() const { return m_secrets; }
    int situationCount() const { return m_situationCount; }

private:
    bool checkRows(QList<ManifestRow> &rows);
    bool checkVideo(ManifestRow &row);
    bool resolveTime(const ManifestRow &row, const QString &text, const QString &label,
                     QString *code, qint64 *milliseconds);
    bool checkWindow(ManifestRow &row);
    bool checkOrderAndIds(QList<ManifestRow> &rows);
    bool checkStructure(const QList<ManifestRow> &rows);
    bool checkTarget(const QString &outDir);
    bool encryptVideo(const QString &source, const QString &target);
    bool writeDatabase(const QString &path, const QList<ManifestRow> &rows);
    bool moveIntoPlace(const QString &staging, const QString &outDir);
    QString rowLabel(const ManifestRow &row) const;
    void error(const QString &text) { m_errors << text; }

    struct Probe
    {
        bool readable = false;
        qint64 duration = 0;
        QString why;
    };

    PackSecrets m_secrets;
    QHash<QString, Probe> m_probed;
    bool m_replaceExisting = false;
    QStringList m_errors;
    QStringList m_notes;
    int m_situationCount = 0;
};
