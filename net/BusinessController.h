#pragma once

#include "ClientInputInterface.h"
#include "LearnModeEnum.h"
#include "ResultDetail.h"

#include <QMutex>
#include <QObject>
#include <QSet>
#include <QString>
#include <QThread>

#include <memory>

class Composer;
class ContestController;
class ContestProcedure;
class FileUtility;
class Library;
class PlayerManager;
class QVideoWidget;
class ResultDelivery;
class ResultOutbox;
class SqliteConnection;
class TcpResultLink;

// The hub of the station: owns the content (database, library, composer,
// contest procedure, player manager, file utility), prepares contests on a
// worker thread of its own, answers the server's key challenge and turns what
// the server says into signals for the user interface.
//
// The ClientInputInterface operations run on the link's receiving thread and
// touch nothing of the GUI thread: they only emit signals, which the automatic
// connections queue to the receivers' threads.
//
// Results are handed to ResultDelivery, which keeps them in a local outbox
// until the server is seen to have dealt with them.
class BusinessController : public QObject, public ClientInputInterface
{
    Q_OBJECT
public:
    // Where the station finds its files. The station itself runs on the
    // defaults: its working directory and the built-in content digest.
    struct Setup
    {
        // Holds the content database, the videos folder, the scratch folder
        // of the decrypted copies and the result outbox.
        QString workingFolder = QStringLiteral(".");
        // Salted digest the content database must match; empty for the
        // built-in one.
        QString databaseDigest;
    };

    static BusinessController *instance();

    explicit BusinessController(const Setup &setup, QObject *parent = nullptr);
    ~BusinessController() override;

    // Reads the chapters and the count-down clip, then checks that an
    // examination can be composed and played from them.
    void loadContent();
    void setVideoOutput(QVideoWidget *widget);
    // 1 when the content database did not open or the content cannot make
    // an examination, else 0.
    int isContentInvalid() const { return m_contentInvalid; }

    Composer *composer() const { return m_composer; }
    ContestProcedure *contestProcedure() const { return m_contestProcedure; }
    PlayerManager *playerManager() const { return m_playerManager; }
    FileUtility *fileUtility() const { return m_fileUtility; }
    Library *library() const { return m_library; }
    SqliteConnection *sqliteConnection() const { return m_sqliteConnection; }
    ResultOutbox *resultOutbox() const;

    // Flags cleared (danger items kept) and playback paused.
    void resetContestState();
    // Composition on the worker thread; doneResetContest() when it is ready.
    void resetContest(LearnModeEnum mode, int chapter = 0, int ex = 0);
    // Rebuilds the last reviewed examination, if its text was usable.
    void startReview();
    void sendContestResult(qint32 totalScore, qint32 passScore, quint8 passed, qint32 candidateId,
                           const QString &detail, const QString &contestCode);
    void sendInfoConfirm(qint32 candidateId, quint8 marker, quint8 confirmed);

    // ClientInputInterface, on the receiving thread.
    void onEnterResponse(qint32 code, qint32 cert, qint32 id, const QString &pid,
                         const QString &fullName, const QString &image) override;
    void onAuthenStateOne(const QByteArray &nonce) override;
    void onContestName(const char *codeBytes, int codeLength, const char *nameBytes,
                       int nameLength) override;
    void onReview(const QString &text) override;

signals:
    void notifyEnterResponse(int code, int cert, int id, QString pid, QString fullName, QString image);
    void sendResetContestContent(LearnModeEnum mode, int chapter = 0, int ex = 0);
    void doneResetContest();
    void receivedContestName(QString contestCode, QString contestName);
    void notifyPrepareReview(ResultDetail detail);
    void notifyReviewContestContent(ResultDetail detail);
    void notifyNotSupportReview();

private:
    bool contentIsPlayable() const;
    bool reviewIsUsable(const ResultDetail &detail, QString *why) const;

    SqliteConnection *m_sqliteConnection = nullptr;
    Library *m_library = nullptr;
    Composer *m_composer = nullptr;
    ContestProcedure *m_contestProcedure = nullptr;
    PlayerManager *m_playerManager = nullptr;
    FileUtility *m_fileUtility = nullptr;
    QThread m_workerThread;
    ContestController *m_contestController = nullptr;
    int m_contentInvalid = 0;

    // Written by a review text on the receiving thread, read by the play
    // press on the GUI thread.
    mutable QMutex m_reviewLock;
    ResultDetail m_review;
    bool m_reviewUsable = false;
    // The situations of the content, for checking a review text on the
    // receiving thread; written only while the content loads.
    QSet<int> m_situationIds;

    const std::unique_ptr<TcpResultLink> m_link;
    const std::unique_ptr<ResultDelivery> m_delivery;
};
