#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

class Composer;
class Exercise;
class Library;
class SqliteConnection;

// The situations of a content pack as the station itself reads them: through
// its own content database loader, with the secrets this build was made
// with. Looked up by video file name, which is what the walk sees of the
// station's playback.
class PackSituations : public QObject
{
    Q_OBJECT
public:
    explicit PackSituations(QObject *parent = nullptr);
    ~PackSituations() override;

    // folder holds ksm.db and videos/, as a station's working folder does.
    bool load(const QString &folder, QString *why);

    // Null for the count-down clip and for files the pack does not list.
    const Exercise *situationByFile(const QString &fileName) const;

    // The situations of one chapter, in order; empty past the last one.
    QList<const Exercise *> chapter(int index) const;

    // The detail text of one plausible examination on this pack: ten
    // situations drawn by the station's composer, each flagged by the
    // station's scoring somewhere in or near its danger window, one of them
    // too early. Empty when the pack cannot make up an examination.
    QString sampleResult() const;

private:
    SqliteConnection *m_database;
    Library *m_library;
    Composer *m_composer;
    QHash<QString, Exercise *> m_byFile;
};
