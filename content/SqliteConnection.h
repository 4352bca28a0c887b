#pragma once

#include <QObject>
#include <QSqlDatabase>
#include <QString>

class Composer;
class Library;

// The encrypted content database: checked against the built-in salted digest,
// opened read-only through the "SQLITECIPHER" driver, and read into the
// situation library and the count-down clip. The exercises it creates are its
// children.
class SqliteConnection : public QObject
{
    Q_OBJECT
public:
    explicit SqliteConnection(QObject *parent = nullptr);
    ~SqliteConnection() override;

    // The file, salt, digest and password default to the built-in ones;
    // set them before openDatabase() to check other content.
    void setDatabasePath(const QString &path) { m_databasePath = path; }
    QString databasePath() const { return m_databasePath; }
    // Folder the situation videos are taken from; the built-in one unless set.
    void setVideoFolder(const QString &folder) { m_videoFolder = folder; }
    void setSecrets(const QString &salt, const QString &digest, const QString &password);

    bool openDatabase();
    // Empty until openDatabase() has added the connection.
    QString connectionName() const { return m_database.connectionName(); }
    bool loadChapterExercises(Library *library);
    bool loadCountDownExercise(Composer *composer);

    // MD5 of the salt's bytes followed by the file's bytes, as lowercase hex,
    // read in fixed-size chunks whatever the file's size. Empty when the file
    // cannot be read to its end.
    static QString saltedDigest(const QString &path, const QByteArray &salt);

private:
    void removeConnection();

    QString m_databasePath;
    QString m_videoFolder;
    QString m_salt;
    QString m_digest;
    QString m_password;
    QSqlDatabase m_database;
};
