#pragma once

#include "PracticeFlow.h"

#include <QDateTime>
#include <QList>
#include <QMainWindow>
#include <QString>

class Exercise;
class HzSliderProgressBar;
class MockResultPage;
class PracticeContent;
class ProgressStore;
class QLabel;
class QPushButton;
class QSlider;
class QStackedWidget;
class QTreeWidget;
class StatisticsPage;
class VideoWidget;

// The learner's window: the lists to choose from, the attempt with its
// timeline, and the mock examination's result. It only shows; what each
// stage offers comes from PracticeFlow, the engine is PracticeContent and
// the scores go to the ProgressStore.
class PracticeWindow : public QMainWindow
{
    Q_OBJECT
public:
    enum RunKind {
        RunSituation,
        RunChapter,
        RunMock,
        RunMissed,
    };
    Q_ENUM(RunKind)

    struct Played
    {
        int situationId = 0;
        QString number;
        int score = 0;
        // Milliseconds from the start of the situation's clip; 0 is no flag.
        qint64 flagTime = 0;
    };

    PracticeWindow(PracticeContent *content, ProgressStore *store, QWidget *parent = nullptr);

    PracticeFlow *flow() { return &m_flow; }
    HzSliderProgressBar *timeline() const { return m_timeline; }
    // Situations of the current or last run, scored or skipped.
    QList<Played> played() const { return m_played; }
    QStringList skippedNotes() const { return m_skipped; }
    int mockTotal() const;
    Exercise *currentSituation() const;

    void startRun(RunKind kind, const QList<Exercise *> &situations);
    void refreshChoice();
    void showStatistics();
    StatisticsPage *statisticsPage() const { return m_statistics; }
    // The last mock examination's result sheet as a PDF; false with the
    // reason when there is none or it cannot be written.
    bool saveSheet(const QString &path, QString *why);

signals:
    // The situation's first frame is on its way: the clips are loaded and
    // playing was asked for.
    void situationStarted(int situationId);
    void situationScored(int situationId, int score);
    void runFinished();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    QWidget *buildChoicePage();
    QWidget *buildPlayPage();
    void showControls();
    void playCurrent();
    void onPosition(qint64 position);
    void onEnded();
    void placeFlag();
    void goOn();
    void replay();
    void goBack();
    void finishRun();
    void practiseSelected();
    void practiseChapter();
    void practiseMock();
    void practiseMissed();

    PracticeContent *m_content;
    ProgressStore *m_store;
    PracticeFlow m_flow;

    QStackedWidget *m_pages = nullptr;
    QTreeWidget *m_tree = nullptr;
    QLabel *m_choiceNote = nullptr;
    VideoWidget *m_video = nullptr;
    HzSliderProgressBar *m_timeline = nullptr;
    QSlider *m_seek = nullptr;
    QLabel *m_title = nullptr;
    QLabel *m_scoreLabel = nullptr;
    QPushButton *m_nextButton = nullptr;
    QPushButton *m_replayButton = nullptr;
    QPushButton *m_backButton = nullptr;
    QPushButton *m_pauseButton = nullptr;
    QPushButton *m_halfSpeedButton = nullptr;
    MockResultPage *m_resultPage = nullptr;
    StatisticsPage *m_statistics = nullptr;

    RunKind m_kind = RunSituation;
    QList<Exercise *> m_queue;
    int m_index = -1;
    qint64 m_position = 0;
    qint64 m_mockId = 0;
    QDateTime m_runStarted;
    QList<Played> m_played;
    QStringList m_skipped;
};
