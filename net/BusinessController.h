#pragma once

#include "ClientInputInterface.h"
#include "LearnModeEnum.h"

#include <QHash>
#include <QList>
#include <QMutex>
#include <QSet>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QThread>

#include <memory>
#include <mutex>

class Composer;
class ContestController;
class ContestProcedure;
class FileUtility;
class Library;
class PlayerManager;
class QVideoWidget;
class ResultOutbox;
class SqliteConnection;

// The hub of the station: owns the content (database, library, composer,
// contest procedure, player manager, file utility), prepares contests on a
// worker thread of its own, answers the server's key challenge and turns what
// the server says into signals for the user interface.
//
// The ClientInputInterface operations run on the link's receiving thread and
// touch nothing of the GUI thread: they only emit signals, which the automatic
// connections queue to the receivers' threads.
//
// Results pass through a local outbox before they are sent, so that one that
// cannot reach the server (link down, station switched off) is sent again
// after the next key exchange, also in a later run.
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
    ResultOutbox *resultOutbox() const { return m_outbox.get(); }

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
    void notifyPrepareReview(QString scoreStr);
    void notifyReviewContestContent(QString scoreStr, QString videoStr, QString flagStr);
    void notifyNotSupportReview();

private:
    // How far an undelivered result has come in this run.
    enum class Passage {
        Idle,     // not on any link: sent again after the next key exchange
        Checking, // in the delivery check on the GUI thread
        Queued,   // in the link's queue until the next key exchange
        Sent,     // queued for `connection`
    };
    struct Tracking
    {
        Passage passage = Passage::Idle;
        quint64 connection = 0;
    };
    // A course list request sent after results: its answer on the same
    // connection means the server has dealt with them.
    struct Barrier
    {
        quint64 connection = 0;
        quint64 request = 0;
        QList<qint64> results;
    };

    bool contentIsPlayable() const;
    bool reviewIsUsable(const QStringList &parts) const;
    // The next four run under m_deliveryLock.
    void afterDeliveryCheck(qint64 seq, bool delivered, quint64 connectionBefore);
    void resendUndelivered(quint64 connection);
    void sendBarrier(quint64 connection);
    bool passBarrier(quint64 connection, quint64 request);

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
    QStringList m_reviewParts;
    // The situations of the content, for checking a review text on the
    // receiving thread; written only while the content loads.
    QSet<int> m_situationIds;

    std::unique_ptr<ResultOutbox> m_outbox;
    std::mutex m_deliveryLock;
    QHash<qint64, Tracking> m_tracking;
    QList<Barrier> m_barriers;
    // The last connection whose challenge was answered.
    quint64 m_keyedConnection = 0;
};
