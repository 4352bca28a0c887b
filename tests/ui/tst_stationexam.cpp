#include "BusinessController.h"
#include "Composer.h"
#include "ContestProcedure.h"
#include "ContestResultDialog.h"
#include "CustomerBox.h"
#include "InfoConfirmDialog.h"
#include "InitialInfoDialog.h"
#include "PlayerManager.h"
#include "StationFixture.h"
#include "TcpClient.h"

#include <QtTest>
#include <QtWidgets>

// An examination from the entry to the stored result, its review, and the
// result's delivery to a server that went away meanwhile.
class TestStationExamination : public StationFixture
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase() { tearDownStation(); }

    void examination();
    void review();
    void reviewTheServerCannotSupply();
    void resultReachesARestartedServerOnce();

private:
    ExpectedContest m_examined;
};

void TestStationExamination::initTestCase()
{
    setUpStation();
    if (QTest::currentTestFailed())
        return;
    QVERIFY(openStation());
}

void TestStationExamination::examination()
{
    QVERIFY(enter(QStringLiteral("201")));
    QVERIFY(confirmIdentity());

    const QWidget *window = m_window.get();
    const QStringList shown{labelText(window, "lbName"), labelText(window, "lbPId"),
                            labelText(window, "lbOrderNumber"), labelText(window, "lbCertType")};
    QCOMPARE(shown, (QStringList{"Nguyễn Thị Hương Giang", "079201000201", "201", "B2"}));
    QCOMPARE(child<QLabel>("lbAvatar")->pixmap(Qt::ReturnByValue).toImage().pixelColor(5, 5), QColor(200, 40, 40));
    auto *startBtn = child<QPushButton>("startBtn");
    QTest::mouseClick(startBtn, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(m_controller->playerManager()->isPlaying(), 30000);
    QTRY_COMPARE(serverLogCount(QStringLiteral("examination started: candidate")), 1);

    // Nothing lets the candidate pause, seek, speed up or leave.
    for (const char *name : {"playBtn", "pauseBtn", "exitBtn", "actionx2", "actionx4", "actionLogin"})
        QVERIFY2(!child<QObject>(name)->property(name[0] == 'a' ? "enabled" : "visible").toBool(), name);
    QVERIFY(!slider()->isEnabled() && !startBtn->isEnabled());
    QVERIFY(!m_window->close() && m_window->isVisible());
    QTRY_VERIFY(QApplication::focusWidget() && QApplication::focusWidget()->window() == m_window.get());

    // During a count-down, twice in one window, before, late, none, and early.
    const QList<Situation> order = composedOrder();
    ExpectedContest expected{order};
    auto pressAt = [&](qint64 position) {
        if (!reachPosition(position))
            return false;
        expected.press(pressSpace());
        return true;
    };
    QVERIFY(pressAt(countDownMs / 2));
    QVERIFY(pressAt(expected.windowStart(0) + 100));
    QVERIFY(pressAt(expected.windowStart(0) + 400));
    QVERIFY(pressAt(clipStart(1) + 100));
    QVERIFY(pressAt(expected.windowEnd(3) + 300));
    for (int k = 4; k < order.size(); ++k)
        QVERIFY(pressAt(expected.windowStart(k) + 100));

    QTRY_VERIFY_WITH_TIMEOUT(resultDialog()->isVisible(), 60000);
    const QString verdict = expected.total() >= 35 ? QStringLiteral("Đạt") : QStringLiteral("Không đạt");
    QCOMPARE(labelText(resultDialog(), "lbScore"), QString::number(expected.total()));
    QCOMPARE(labelText(resultDialog(), "lbResult"), verdict);
    QCOMPARE(resultDialogScores(), expected.scoreTexts());
    QCOMPARE(listTexts("resultLtisWidget"), expected.scoreTexts());
    QCOMPARE(labelText(window, "lbScore"), QStringLiteral("%1/50").arg(expected.total()));
    QCOMPARE(labelText(window, "resultEstimate"), verdict);

    QTRY_COMPARE_WITH_TIMEOUT(serverLogCount(QStringLiteral("result for candidate")), 1, 10000);
    QCOMPARE(storedResults(QStringLiteral("201")),
             (QList<QStringList>{{QString::number(expected.total()), QStringLiteral("35"),
                                  expected.total() >= 35 ? QStringLiteral("1") : QStringLiteral("0"),
                                  expected.detail()}}));
    m_examined = expected;

    QVERIFY(countDownToTheEntry());
    QVERIFY(listTexts("resultLtisWidget").isEmpty() && labelText(window, "lbScore").isEmpty());
    QVERIFY(child<QAction>("actionLogin")->isEnabled());
}


void TestStationExamination::review()
{
    const QList<QStringList> before = storedResults(QStringLiteral("201"));
    QCOMPARE(before.size(), 1);
    const QString scoreText = before.first().at(3).section(QLatin1Char('|'), 0, 0);
    const int total = m_examined.total();
    const QString verdict = total >= 35 ? QStringLiteral("Đạt") : QStringLiteral("Không đạt");

    QVERIFY(enter(QStringLiteral("201")));
    QTRY_VERIFY(confirmDialog()->isVisible());
    QCOMPARE(labelText(confirmDialog(), "title"), QStringLiteral("Xem lại bài thi"));
    QVERIFY(confirmIdentity());

    // The stored scores, listed before anything plays.
    auto *playBtn = child<QPushButton>("playBtn");
    QTRY_VERIFY(playBtn->isEnabled());
    QCOMPARE(listTexts("resultLtisWidget"), scoreText.split(QLatin1Char(';')));
    QCOMPARE(labelText(m_window.get(), "lbScore"), QStringLiteral("%1/50").arg(total));
    QCOMPARE(labelText(m_window.get(), "resultEstimate"), verdict);

    QTest::mouseClick(playBtn, Qt::LeftButton);
    PlayerManager *player = m_controller->playerManager();
    QTRY_VERIFY_WITH_TIMEOUT(player->isPlaying(), 30000);
    QVERIFY(slider()->isEnabled() && child<QAction>("actionx4")->isEnabled());

    // The stored flags are back on the timeline; Space, in a situation left
    // without a flag, adds none.
    ContestProcedure *procedure = m_controller->contestProcedure();
    const QString restored = procedure->collectResult().detail;
    QCOMPARE(restored + QLatin1Char('|') + m_controller->composer()->videoIdText(), m_examined.detail());
    QVERIFY(reachPosition(m_examined.windowStart(2) + 100));
    pressSpace();
    QCOMPARE(procedure->collectResult().detail, restored);

    QTest::mouseClick(child<QPushButton>("pauseBtn"), Qt::LeftButton);
    QTRY_COMPARE(player->state(), QMediaPlayer::PausedState);

    // Seeking into the last situation, then on at four times the speed.
    const qint64 lastClip = clipStart(9);
    slider()->setSliderDown(true);
    slider()->setSliderPosition(int(lastClip));
    slider()->setSliderDown(false);
    child<QAction>("actionx4")->trigger();
    QTest::mouseClick(playBtn, Qt::LeftButton);
    QTRY_VERIFY(player->isPlaying());
    QCOMPARE(player->player()->playbackRate(), 4.0);
    // From where it was sought to, not where it was paused.
    QTRY_VERIFY_WITH_TIMEOUT(slider()->value() >= lastClip + 200, 3000);

    QTRY_VERIFY_WITH_TIMEOUT(resultDialog()->isVisible(), 30000);
    QCOMPARE(labelText(resultDialog(), "lbResult"), verdict);
    QCOMPARE(labelText(resultDialog(), "lbScore"), QString::number(total));
    QCOMPARE(resultDialogScores(), scoreText.split(QLatin1Char(';')));
    QVERIFY(countDownToTheEntry());
    // A review uploads nothing.
    QCOMPARE(storedResults(QStringLiteral("201")), before);
    QCOMPARE(serverLogCount(QStringLiteral("result for candidate")), 1);
}


void TestStationExamination::reviewTheServerCannotSupply()
{
    // A wrong number before the review's answer is shown: the server forgets
    // the first entry, so the confirmation gets no review.
    QVERIFY(enter(QStringLiteral("201")));
    QVERIFY(enter(QStringLiteral("999")));
    CustomerBox *box = messageBox();
    QTRY_VERIFY(confirmDialog()->isVisible() && box->isVisible());
    QCOMPARE(labelText(box, "lbContent"), QStringLiteral("Số báo danh không đúng"));
    QTest::mouseClick(box->findChild<QPushButton *>(QStringLiteral("btnOk")), Qt::LeftButton);
    QVERIFY(confirmIdentity());

    QTRY_VERIFY(box->isVisible());
    QCOMPARE(labelText(box, "lbContent"), QStringLiteral("Thí sinh không hỗ trợ xem lại"));
    QVERIFY(entryDialog()->isVisible() && !child<QPushButton>("playBtn")->isVisible());
    QVERIFY(child<QPushButton>("startBtn")->isVisible() && !child<QPushButton>("startBtn")->isEnabled());
    QTest::mouseClick(box->findChild<QPushButton *>(QStringLiteral("btnOk")), Qt::LeftButton);
}


void TestStationExamination::resultReachesARestartedServerOnce()
{
    QTest::ignoreMessage(QtInfoMsg, "InfoConfirmDialog::setImage: Can't load image into pixmap");
    QTest::ignoreMessage(QtInfoMsg, "MainWindow::onConfirmInfo: Can't load image into pixmap");
    QVERIFY(enter(QStringLiteral("202")));
    QVERIFY(confirmIdentity());
    QCOMPARE(child<QLabel>("lbAvatar")->pixmap(Qt::ReturnByValue).toImage(),
             QPixmap(QStringLiteral(":/images/resources/images/administrator.png")).toImage());
    QTest::mouseClick(child<QPushButton>("startBtn"), Qt::LeftButton);
    PlayerManager *player = m_controller->playerManager();
    QTRY_VERIFY_WITH_TIMEOUT(player->isPlaying(), 30000);
    // A review before must leave neither its seeking nor its speed behind.
    QVERIFY(!slider()->isEnabled());
    QCOMPARE(player->player()->playbackRate(), 1.0);

    const QList<Situation> order = composedOrder();
    const int asked = m_question.asked;
    QVERIFY(reachPosition(clipStart(1)));
    stopServer();
    QTRY_VERIFY(!TcpClient::instance().isConnected());
    QVERIFY(startServer(m_port));

    QTRY_VERIFY_WITH_TIMEOUT(resultDialog()->isVisible(), 60000);
    ExpectedContest nothingPressed{order};
    QCOMPARE(labelText(resultDialog(), "lbScore"), QStringLiteral("0"));
    QCOMPARE(resultDialogScores(), nothingPressed.scoreTexts());
    const QString stored = QStringLiteral("result for candidate");
    QTRY_COMPARE_WITH_TIMEOUT(serverLogCount(stored), 2, 20000);
    QVERIFY(countDownToTheEntry());
    // Past the next exchange with the server, the result still came once.
    QTRY_COMPARE(entryDialog()->findChild<QComboBox *>()->count(), 1);
    QCOMPARE(serverLogCount(stored), 2);
    QCOMPARE(storedResults(QStringLiteral("202")),
             (QList<QStringList>{{QStringLiteral("0"), QStringLiteral("35"), QStringLiteral("0"),
                                  nothingPressed.detail()}}));
    QCOMPARE(m_question.asked, asked);
}


QTEST_MAIN(TestStationExamination)
#include "tst_stationexam.moc"
