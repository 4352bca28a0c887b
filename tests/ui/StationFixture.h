#pragma once

#include "MainWindow.h"
#include "ScriptedQuestion.h"
#include "ServerCommand.h"

#include <QApplication>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <QVector>

#include <memory>
#include <numeric>

class BusinessController;
class ContestResultDialog;
class CustomerBox;
class InfoConfirmDialog;
class InitialInfoDialog;
class QSlider;
class QWidget;

// The whole station driven through its main window, against the real
// examination server run as its operator runs it, on a content pack of short
// clips built when the test starts. The station's test programs derive from
// it: it builds the pack and the server, opens the station and reads what
// the window shows.
class StationFixture : public QObject
{
protected:
    static constexpr int countDownMs = 1000;
    static constexpr int situationMs = 2000;
    static constexpr int lookBackMs = 500;
    static inline const QString course = QStringLiteral("K1");

    // Danger window in milliseconds from the start of the situation's own clip.
    struct Situation
    {
        int id = 0;
        int chapter = 0;
        int windowStart = 0;
        int windowEnd = 0;
    };

    // Exactly what an examination draws from chapters 1 to 6, so every
    // examination plays all of them; windows differ so that a mix-up changes
    // the scores.
    static QList<Situation> packSituations();
    static qint64 clipStart(int k) { return qint64(k) * (countDownMs + situationMs) + countDownMs; }

    template<typename T>
    static QString join(const QVector<T> &values)
    {
        QStringList texts;
        for (const T &v : values)
            texts << QString::number(v);
        return texts.join(QLatin1Char(';'));
    }

    // The scoring worked out from the pack's windows alone: 5 to 1 by the
    // fifth of the window a press falls in, or as if half a second earlier
    // when that scores more; only the first press inside a situation's clip
    // counts.
    struct ExpectedContest
    {
        QList<Situation> order;
        QVector<int> scores = QVector<int>(order.size(), 0);
        QVector<qint64> flags = QVector<qint64>(order.size(), 0);

        qint64 windowStart(int k) const { return clipStart(k) + order.at(k).windowStart; }
        qint64 windowEnd(int k) const { return clipStart(k) + order.at(k).windowEnd; }
        int zone(int k, qint64 x) const
        {
            const qint64 start = windowStart(k), end = windowEnd(k);
            if (x < start || x > end)
                return 0;
            return x == end ? 1 : 5 - int((x - start) * 5 / (end - start));
        }
        void press(qint64 at)
        {
            for (int k = 0; k < order.size(); ++k) {
                if (flags.at(k) != 0 || at < clipStart(k) || at > clipStart(k) + situationMs)
                    continue;
                const int direct = zone(k, at), earlier = zone(k, at - lookBackMs);
                scores[k] = qMax(direct, earlier);
                flags[k] = direct >= earlier ? at : qMax<qint64>(at - lookBackMs, 0);
            }
        }
        int total() const { return std::accumulate(scores.begin(), scores.end(), 0); }
        QStringList scoreTexts() const { return join(scores).split(QLatin1Char(';')); }
        QString detail() const
        {
            QVector<int> ids;
            for (const Situation &s : order)
                ids << s.id;
            return join(scores) + QLatin1Char('|') + join(flags) + QLatin1Char('|') + join(ids);
        }
    };

    // Notes the title and text of each modal message box and presses its OK
    // button.
    struct BoxAnswerer : QTimer
    {
        BoxAnswerer();
        QStringList seen;
    };

    static bool writeConfig(const QString &folder, quint16 port);

    // The pack, the server with one course and a candidate for every answer
    // it can give, the server serving; fails the current test when any of it
    // cannot be made.
    void setUpStation();
    void tearDownStation();
    // The station on the pack and the server, started as its program starts
    // it; true when it passed its start-up checks and shows.
    bool openStation();

    int serverCommand(const QStringList &args, QString *out = nullptr) { return m_command->run(args, out); }
    QString serverLogFile(int index) const { return m_dir.filePath(QStringLiteral("server%1.log").arg(index)); }
    bool startServer(quint16 port);
    void stopServer();
    int serverLogCount(const QString &needle) const;
    // Per stored result: total, pass mark, passed, detail.
    QList<QStringList> storedResults(const QString &number);

    template<typename T>
    T *child(const char *name) const { return m_window->findChild<T *>(QLatin1String(name)); }
    InitialInfoDialog *entryDialog() const;
    InfoConfirmDialog *confirmDialog() const;
    ContestResultDialog *resultDialog() const;
    CustomerBox *messageBox() const;
    QSlider *slider() const;
    QString labelText(const QWidget *parent, const char *name) const;
    QStringList listTexts(const char *name) const;
    QStringList resultDialogScores() const;

    bool enter(const QString &number);
    bool confirmIdentity();
    bool reachPosition(qint64 position);
    // Space where the keyboard focus is; returns the timeline position.
    qint64 pressSpace();
    QList<Situation> composedOrder() const;
    // The first second on the clock, the rest ticked on; then the entry is
    // back.
    bool countDownToTheEntry();

    QTemporaryDir m_dir;
    QString m_startFolder;
    QString m_stationFolder;
    QString m_packDigest;
    std::unique_ptr<ServerCommand> m_command;
    int m_serves = 0;
    quint16 m_port = 0;
    ScriptedQuestion m_question;
    std::unique_ptr<MainWindow> m_window;
    BusinessController *m_controller = nullptr;
};
