#include "PracticeWindow.h"

#include "Chapter.h"
#include "Composer.h"
#include "Constants.h"
#include "ContestProcedure.h"
#include "Exercise.h"
#include "HzSliderProgressBar.h"
#include "Library.h"
#include "MockResultPage.h"
#include "PlayerManager.h"
#include "PracticeContent.h"
#include "PracticeLogging.h"
#include "PracticeSheet.h"
#include "ProgressStore.h"
#include "StatisticsPage.h"
#include "VideoWidget.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QStackedWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr int situationIdRole = Qt::UserRole + 1;

enum Page { ChoicePage, PlayPage, ResultPage, StatisticsPageIndex };

} // namespace

PracticeWindow::PracticeWindow(PracticeContent *content, ProgressStore *store, QWidget *parent)
    : QMainWindow(parent)
    , m_content(content)
    , m_store(store)
{
    setWindowTitle(tr("Luyện tập mô phỏng tình huống giao thông"));
    m_pages = new QStackedWidget(this);
    m_pages->addWidget(buildChoicePage());
    m_pages->addWidget(buildPlayPage());
    m_resultPage = new MockResultPage;
    connect(m_resultPage, &MockResultPage::backRequested, this, &PracticeWindow::goBack);
    m_pages->addWidget(m_resultPage);
    m_statistics = new StatisticsPage;
    connect(m_statistics, &StatisticsPage::backRequested, this, &PracticeWindow::goBack);
    m_pages->addWidget(m_statistics);
    setCentralWidget(m_pages);
    setFocusPolicy(Qt::StrongFocus);

    PlayerManager *player = m_content->playerManager();
    player->player()->setVideoOutput(m_video);
    m_timeline->setContestProcedure(m_content->procedure());
    m_timeline->refreshItems();
    connect(player, &PlayerManager::notifyPositionChanged, this, &PracticeWindow::onPosition);
    connect(player, &PlayerManager::notifyEndContest, this, &PracticeWindow::onEnded);
    connect(m_content->procedure(), &ContestProcedure::notifyAddFlag, m_timeline, qOverload<>(&QWidget::update));
    connect(&m_flow, &PracticeFlow::stageChanged, this, &PracticeWindow::showControls);
    refreshChoice();
    showControls();
    resize(1000, 700);
}

QWidget *PracticeWindow::buildChoicePage()
{
    auto *page = new QWidget;
    auto *layout = new QVBoxLayout(page);
    m_tree = new QTreeWidget;
    m_tree->setObjectName(QStringLiteral("situationTree"));
    m_tree->setHeaderLabels({tr("Tình huống"), tr("Điểm cao nhất"), tr("Số lần")});
    m_tree->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    connect(m_tree, &QTreeWidget::itemActivated, this, [this] { practiseSelected(); });
    layout->addWidget(m_tree);
    m_choiceNote = new QLabel;
    m_choiceNote->setWordWrap(true);
    layout->addWidget(m_choiceNote);
    auto *buttons = new QHBoxLayout;
    const QList<QPair<QString, void (PracticeWindow::*)()>> actions = {
        {tr("Luyện tình huống này"), &PracticeWindow::practiseSelected},
        {tr("Luyện cả chương"), &PracticeWindow::practiseChapter},
        {tr("Thi thử (Ctrl+M)"), &PracticeWindow::practiseMock},
        {tr("Những tình huống tôi hay sai"), &PracticeWindow::practiseMissed},
        {tr("Thống kê (Ctrl+T)"), &PracticeWindow::showStatistics},
    };
    for (const auto &action : actions) {
        auto *button = new QPushButton(action.first);
        button->setFocusPolicy(Qt::NoFocus);
        connect(button, &QPushButton::clicked, this, action.second);
        buttons->addWidget(button);
        if (action.second == &PracticeWindow::showStatistics)
            button->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
        else if (action.second == &PracticeWindow::practiseMock)
            button->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
    }
    layout->addLayout(buttons);
    return page;
}

QWidget *PracticeWindow::buildPlayPage()
{
    auto *page = new QWidget;
    auto *layout = new QVBoxLayout(page);
    m_title = new QLabel;
    layout->addWidget(m_title);
    m_video = new VideoWidget;
    m_video->setMinimumSize(480, 270);
    layout->addWidget(m_video, 1);
    m_timeline = new HzSliderProgressBar;
    m_timeline->setMinimumHeight(40);
    layout->addWidget(m_timeline);
    m_seek = new QSlider(Qt::Horizontal);
    m_seek->setFocusPolicy(Qt::NoFocus);
    connect(m_seek, &QSlider::sliderMoved, this, [this](int value) {
        if (m_flow.mayControlPlayback())
            m_content->composer()->getExerciseIndexByPosition(value);
    });
    layout->addWidget(m_seek);
    m_scoreLabel = new QLabel;
    m_scoreLabel->setObjectName(QStringLiteral("scoreLabel"));
    QFont big = m_scoreLabel->font();
    big.setPointSize(big.pointSize() + 6);
    big.setBold(true);
    m_scoreLabel->setFont(big);
    layout->addWidget(m_scoreLabel);
    auto *buttons = new QHBoxLayout;
    auto makeButton = [&buttons](const QString &text) {
        auto *button = new QPushButton(text);
        button->setFocusPolicy(Qt::NoFocus);
        buttons->addWidget(button);
        return button;
    };
    m_backButton = makeButton(tr("Quay lại (Esc)"));
    m_pauseButton = makeButton(tr("Tạm dừng"));
    m_halfSpeedButton = makeButton(tr("Chậm ½"));
    m_halfSpeedButton->setCheckable(true);
    m_replayButton = makeButton(tr("Xem lại (R)"));
    m_nextButton = makeButton(tr("Tiếp tục (Enter)"));
    connect(m_backButton, &QPushButton::clicked, this, &PracticeWindow::goBack);
    connect(m_replayButton, &QPushButton::clicked, this, &PracticeWindow::replay);
    connect(m_nextButton, &QPushButton::clicked, this, &PracticeWindow::goOn);
    connect(m_pauseButton, &QPushButton::clicked, this, [this] {
        if (!m_flow.mayControlPlayback())
            return;
        PlayerManager *player = m_content->playerManager();
        if (player->isPlaying())
            player->requestPause();
        else
            player->requestPlay();
    });
    connect(m_halfSpeedButton, &QPushButton::toggled, this, [this](bool half) {
        if (m_flow.mayControlPlayback())
            m_content->playerManager()->setPlaybackRate(half ? 0.5 : 1.0);
    });
    layout->addLayout(buttons);
    return page;
}

void PracticeWindow::refreshChoice()
{
    m_tree->clear();
    const QHash<int, ProgressStore::SituationProgress> progress = m_store->progressBySituation();
    const QList<Chapter *> chapters = m_content->library() ? m_content->library()->chapters() : QList<Chapter *>();
    for (int c = 0; c < chapters.size(); ++c) {
        auto *chapterItem = new QTreeWidgetItem(m_tree, {tr("Chương %1").arg(c + 1)});
        chapterItem->setData(0, situationIdRole, -1 - c);
        for (const Exercise *situation : chapters.at(c)->exercises()) {
            const ProgressStore::SituationProgress one = progress.value(situation->id());
            auto *item = new QTreeWidgetItem(chapterItem,
                                             {tr("Tình huống %1").arg(situation->number()),
                                              one.attempts > 0 ? QString::number(one.best) : QStringLiteral("–"),
                                              QString::number(one.attempts)});
            item->setData(0, situationIdRole, situation->id());
        }
        chapterItem->setExpanded(true);
    }
}

void PracticeWindow::showControls()
{
    const PracticeFlow::Controls controls = m_flow.controls();
    if (controls & PracticeFlow::SituationList)
        m_pages->setCurrentIndex(ChoicePage);
    else if (controls & PracticeFlow::ResultTable)
        m_pages->setCurrentIndex(ResultPage);
    else
        m_pages->setCurrentIndex(PlayPage);
    m_timeline->showDangerZones = controls.testFlag(PracticeFlow::DangerZones);
    m_timeline->update();
    m_scoreLabel->setVisible(controls & PracticeFlow::ScorePanel);
    m_nextButton->setVisible(controls & PracticeFlow::NextButton);
    m_replayButton->setVisible(controls & PracticeFlow::ReplayButton);
    m_backButton->setVisible(controls & PracticeFlow::BackButton);
    m_pauseButton->setVisible(controls & PracticeFlow::PauseButton);
    m_halfSpeedButton->setVisible(controls & PracticeFlow::HalfSpeedButton);
    m_seek->setVisible(controls & PracticeFlow::SeekSlider);
}

Exercise *PracticeWindow::currentSituation() const
{
    return m_index >= 0 && m_index < m_queue.size() ? m_queue.at(m_index) : nullptr;
}

int PracticeWindow::mockTotal() const
{
    int total = 0;
    for (const Played &one : m_played)
        total += one.score;
    return total;
}

void PracticeWindow::startRun(RunKind kind, const QList<Exercise *> &situations)
{
    m_kind = kind;
    m_queue = situations;
    m_played.clear();
    m_skipped.clear();
    m_runStarted = QDateTime::currentDateTime();
    m_mockId = kind == RunMock ? m_store->beginMock(m_runStarted) : 0;
    m_index = 0;
    if (m_queue.isEmpty()) {
        m_choiceNote->setText(tr("Không có tình huống nào để luyện."));
        return;
    }
    playCurrent();
}

void PracticeWindow::playCurrent()
{
    Exercise *situation = currentSituation();
    if (!situation || !m_content->prepareSituation(situation)) {
        finishRun();
        return;
    }
    m_position = 0;
    m_flow.startSituation();
    m_title->setText(tr("Tình huống %1 (%2/%3)").arg(situation->number()).arg(m_index + 1).arg(m_queue.size()));
    m_scoreLabel->clear();
    m_halfSpeedButton->setChecked(false);
    const qint64 duration = m_content->composer()->totalDuration();
    m_timeline->setMaximum(duration);
    m_seek->setRange(0, int(duration));
    m_seek->setValue(0);
    showControls();
    m_content->playerManager()->requestPlay();
    activateWindow();
    setFocus(Qt::OtherFocusReason);
    emit situationStarted(situation->id());
}

void PracticeWindow::onPosition(qint64 position)
{
    m_position = position;
    if (!m_seek->isSliderDown())
        m_seek->setValue(int(position));
    if (m_flow.stage() == PracticeFlow::Counting && position >= m_content->countDownDuration())
        m_flow.countDownEnded();
}

void PracticeWindow::placeFlag()
{
    if (!m_flow.placeFlag())
        return;
    m_content->procedure()->addFlag(m_position);
}

void PracticeWindow::onEnded()
{
    if (m_flow.stage() == PracticeFlow::Replay) {
        m_flow.replayEnded();
        return;
    }
    if (m_flow.stage() != PracticeFlow::Counting && m_flow.stage() != PracticeFlow::Attempt)
        return;
    Exercise *situation = currentSituation();
    const QList<DangerItem> items = m_content->procedure()->dangerItemsSnapshot();
    // Entry 1 is the situation itself: a clip that did not play says nothing
    // about the learner and is not counted.
    const bool unplayed = m_content->playerManager()->unplayedEntries().contains(1);
    m_flow.situationEnded();
    if (!situation || items.isEmpty() || unplayed) {
        const QString note = tr("Tình huống %1 không phát được video, đã bỏ qua (không tính điểm).")
                                 .arg(situation ? situation->number() : QString());
        m_skipped << note;
        m_scoreLabel->setText(note);
        qCWarning(lcPractice) << "situation" << (situation ? situation->id() : 0) << "skipped: its clip did not play";
        return;
    }
    const DangerItem &item = items.first();
    Played one;
    one.situationId = situation->id();
    one.number = situation->number();
    one.score = item.score;
    one.flagTime = item.flagTime > 0 ? item.flagTime - item.spanStart : 0;
    m_played << one;
    ProgressStore::Attempt attempt;
    attempt.situationId = one.situationId;
    attempt.mode = m_kind == RunMock ? Examination : (m_kind == RunChapter ? WholeChapter : SingleSituation);
    attempt.flagTime = one.flagTime;
    attempt.score = one.score;
    attempt.when = QDateTime::currentDateTime();
    attempt.mockId = m_mockId;
    if (!m_store->recordAttempt(attempt)) {
        QMessageBox::warning(this, windowTitle(),
                             tr("Không ghi được kết quả vào tệp tiến độ %1: %2").arg(m_store->path(), m_store->errorText()));
    }
    m_scoreLabel->setText(item.flagged ? tr("Điểm: %1/5").arg(one.score) : tr("Không cắm cờ: 0/5"));
    emit situationScored(one.situationId, one.score);
}

void PracticeWindow::goOn()
{
    if (m_flow.stage() != PracticeFlow::Scored && m_flow.stage() != PracticeFlow::Replay)
        return;
    m_content->playerManager()->requestStop();
    ++m_index;
    if (m_index < m_queue.size())
        playCurrent();
    else
        finishRun();
}

void PracticeWindow::replay()
{
    if (!m_flow.startReplay())
        return;
    PlayerManager *player = m_content->playerManager();
    player->requestStop();
    player->requestPlay();
    setFocus(Qt::OtherFocusReason);
}

void PracticeWindow::finishRun()
{
    m_content->playerManager()->requestStop();
    if (m_kind == RunMock && !m_queue.isEmpty()) {
        const bool complete = m_skipped.isEmpty() && m_played.size() == m_queue.size();
        if (complete)
            m_store->finishMock(m_mockId);
        QList<PracticeSheet::Row> rows;
        for (const Played &one : m_played)
            rows << PracticeSheet::Row{one.number, one.score};
        m_resultPage->showResult(PracticeSheet(m_runStarted, rows), complete);
        if (!m_flow.showMockResult())
            m_flow.backToChoice();
    } else {
        m_flow.backToChoice();
        m_choiceNote->setText(m_skipped.join(QLatin1Char('\n')));
    }
    m_mockId = 0;
    refreshChoice();
    showControls();
    emit runFinished();
}

void PracticeWindow::goBack()
{
    m_content->playerManager()->requestStop();
    m_content->playerManager()->setPlaybackRate(1.0);
    m_mockId = 0;
    m_queue.clear();
    m_index = -1;
    m_flow.backToChoice();
    m_choiceNote->setText(m_skipped.join(QLatin1Char('\n')));
    refreshChoice();
    showControls();
}

void PracticeWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->isAutoRepeat()) {
        event->accept();
        return;
    }
    switch (m_flow.actionForKey(event->key())) {
    case PracticeFlow::PlaceFlag:
        placeFlag();
        break;
    case PracticeFlow::GoOn:
        goOn();
        break;
    case PracticeFlow::StartReplay:
        replay();
        break;
    case PracticeFlow::GoBack:
        goBack();
        break;
    case PracticeFlow::NoAction:
        if (m_flow.stage() == PracticeFlow::Choose && m_pages->currentIndex() == StatisticsPageIndex
            && event->key() == Qt::Key_Escape)
            goBack();
        else if (m_flow.stage() == PracticeFlow::Choose && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter))
            practiseSelected();
        else
            QMainWindow::keyPressEvent(event);
        return;
    }
    event->accept();
}

void PracticeWindow::practiseSelected()
{
    QTreeWidgetItem *item = m_tree->currentItem();
    if (!item)
        return;
    const int id = item->data(0, situationIdRole).toInt();
    if (id < 0) {
        practiseChapter();
        return;
    }
    if (Exercise *situation = m_content->situationById(id))
        startRun(RunSituation, {situation});
}

void PracticeWindow::practiseChapter()
{
    QTreeWidgetItem *item = m_tree->currentItem();
    if (!item || !m_content->library())
        return;
    if (item->parent())
        item = item->parent();
    const int chapter = -1 - item->data(0, situationIdRole).toInt();
    startRun(RunChapter, m_content->library()->exercisesOfChapter(chapter));
}

void PracticeWindow::practiseMock()
{
    startRun(RunMock, m_content->drawMock());
}

void PracticeWindow::practiseMissed()
{
    QList<Exercise *> situations;
    for (const ProgressStore::SituationProgress &one : m_store->missedSituations()) {
        if (Exercise *situation = m_content->situationById(one.situationId))
            situations << situation;
    }
    if (situations.isEmpty()) {
        m_choiceNote->setText(tr("Chưa có tình huống nào bạn hay sai."));
        return;
    }
    startRun(RunMissed, situations);
}

void PracticeWindow::showStatistics()
{
    if (m_flow.stage() != PracticeFlow::Choose)
        return;
    m_statistics->refresh(m_store, m_content->chapterSituationIds());
    m_pages->setCurrentIndex(StatisticsPageIndex);
}

bool PracticeWindow::saveSheet(const QString &path, QString *why)
{
    if (m_kind != RunMock || m_played.isEmpty()) {
        *why = tr("Chưa có bài thi thử nào để in.");
        return false;
    }
    return m_resultPage->saveSheet(path, why);
}
