#include "BusinessController.h"
#include "Constants.h"
#include "ContestResultDialog.h"
#include "CustomerBox.h"
#include "DialogWaiter.h"
#include "InfoConfirmDialog.h"
#include "InitialInfoDialog.h"
#include "ResultOutbox.h"
#include "StationFixture.h"
#include "TcpClient.h"
#include "TestFiles.h"

#include <QtTest>
#include <QtNetwork>
#include <QtWidgets>

#include <cerrno>

// The station's start-up and its form, and what it refuses: candidates the
// server turns away, situations whose clips do not play, reviews the content
// cannot rebuild.
class TestStationRefusals : public StationFixture
{
    Q_OBJECT
private slots:
    void initTestCase() { setUpStation(); }
    void cleanupTestCase() { tearDownStation(); }

    void startupFailureEndsTheProgram_data();
    void startupFailureEndsTheProgram();
    void startupOpensTheEntry();
    void form_data();
    void form();
    void refusals_data();
    void refusals();
    void brokenClipsAreNotScored_data();
    void brokenClipsAreNotScored();
    void reviewThatCannotBeRebuilt();
};

void TestStationRefusals::startupFailureEndsTheProgram_data()
{
    QTest::addColumn<bool>("serverUp");
    QTest::addColumn<QString>("message");
    QTest::newRow("server down, retry declined")
        << false << QStringLiteral("Không kết nối được máy chủ quản lý mô phỏng (3) - (%1)").arg(ECONNREFUSED);
    QTest::newRow("content missing") << true << QStringLiteral("Không kết nối được cơ sở dữ liệu Sqlite mô phỏng hợp lệ");
}


void TestStationRefusals::startupFailureEndsTheProgram()
{
    QFETCH(bool, serverUp);
    QFETCH(QString, message);

    quint16 port = m_port;
    if (!serverUp) {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
        port = closed.serverPort();
    }
    QTemporaryDir folder;
    QVERIFY(writeConfig(folder.path(), port));
    QVERIFY(QDir::setCurrent(folder.path()));

    const int asked = m_question.asked;
    BoxAnswerer answerer;
    {
        QTest::ignoreMessage(QtWarningMsg, "Unable to intialize sqlite database");
        MainWindow window(new BusinessController(BusinessController::Setup()));
        const bool ready = window.runStartupChecks();
        QDir::setCurrent(m_startFolder);
        QVERIFY(!ready && !window.isVisible() && !window.findChild<InitialInfoDialog *>()->isVisible());
    }
    QCOMPARE(answerer.seen, QStringList{QStringLiteral("Cảnh báo | ") + message});
    QCOMPARE(m_question.asked - asked, serverUp ? 0 : 1);
    QVERIFY(!TcpClient::instance().isConnected());
}


void TestStationRefusals::startupOpensTheEntry()
{
    QVERIFY(openStation());
    QCOMPARE(m_window->windowTitle(), QString::fromUtf8(Constants::applicationTitle));
    QVERIFY(!m_window->windowFlags().testFlag(Qt::WindowCloseButtonHint));
    InitialInfoDialog *entry = entryDialog();
    auto *combo = entry->findChild<QComboBox *>(QStringLiteral("contestComboBox"));
    QTRY_COMPARE(combo->currentText(), QStringLiteral("Khóa thi 1"));
    QCOMPARE(entry->windowTitle(), QStringLiteral("Xác nhận số báo danh"));
    QVERIFY(entry->isModal() && !entry->close() && entry->isVisible());

    auto *start = entry->findChild<QPushButton *>(QStringLiteral("startButton"));
    auto *line = entry->findChild<QLineEdit *>(QStringLiteral("lineOrderNumber"));
    BoxAnswerer answerer;
    line->clear();
    start->click();
    // A list whose two halves do not match changes nothing.
    entry->setContestNames(QStringLiteral("K2;K3"), QStringLiteral("Khóa 2"));
    QCOMPARE(combo->count(), 1);
    // The refresh empties the list until the server's answer is taken in.
    line->setText(QStringLiteral("201"));
    entry->findChild<QPushButton *>(QStringLiteral("sendRequestButton"))->click();
    start->click();
    QTRY_COMPARE(combo->count(), 1);
    QCOMPARE(answerer.seen,
             (QStringList{QStringLiteral("Thông báo | Điền số báo danh vào ô trống"),
                          QStringLiteral("Cảnh báo | Mã và tên các khóa đang thi không khớp nhau (Có thể tồn tại "
                                         "một trường có giá trị null)"),
                          QStringLiteral("Thông báo | Chọn khóa thi")}));
    QVERIFY(!confirmDialog()->isVisible());
}


void TestStationRefusals::form_data()
{
    QTest::addColumn<bool>("inEntry");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    const QList<QPair<const char *, const char *>> window{
        {"actionStudent", "Học viên"}, {"actionCopyright", "Bản quyền"}, {"actionLogin", "Đăng nhập"},
        {"actionExit", "Thoát"}, {"actionx2", "x2"}, {"actionx4", "x4"}, {"menuTi_n_ch", "Tiện ích"},
        {"menuAbout", "Thông tin"}, {"startBtn", "Bắt đầu thi"}, {"label_6", "Thông tin học viên:"},
        {"label_8", "Thông tin bài thi:"},
        {"label_9", "- Đề thi gồm 10 câu\n- Mỗi câu được tối đa 5 điểm và tối thiểu 0 điểm"},
        {"labelDuration", "00:00/00:00"},
        {"labelGuildLine", "Học viên ấn phím space khi phát hiện tình huống nguy hiểm"},
        {"grbResult", "Kết quả"}, {"labelEstimate", "Đánh giá:"}};
    const QList<QPair<const char *, const char *>> entry{
        {"label_9", "Nhập số báo danh thí sinh"}, {"label_3", "Khóa thi:"}, {"label", "Số báo danh"},
        {"startButton", "Bắt đầu"}, {"cancelButton", "Hủy bỏ"}};
    for (const auto &row : window)
        QTest::addRow("window %s", row.first) << false << QString::fromUtf8(row.first) << QString::fromUtf8(row.second);
    for (const auto &row : entry)
        QTest::addRow("entry %s", row.first) << true << QString::fromUtf8(row.first) << QString::fromUtf8(row.second);
}


void TestStationRefusals::form()
{
    QFETCH(bool, inEntry);
    QFETCH(QString, name);
    QFETCH(QString, text);
    QObject *scope = inEntry ? static_cast<QObject *>(entryDialog()) : m_window.get();
    QObject *object = nullptr;
    // Only the window's own widgets, not those of its dialogs.
    for (QObject *candidate : scope->findChildren<QObject *>(name)) {
        QWidget *widget = qobject_cast<QWidget *>(candidate);
        if (!widget || widget->window() == scope || inEntry || qobject_cast<QMenu *>(widget))
            object = candidate;
    }
    QVERIFY2(object, qPrintable(name));
    const bool titled = qobject_cast<QMenu *>(object) || qobject_cast<QGroupBox *>(object);
    QCOMPARE(object->property(titled ? "title" : "text").toString(), text);
}


void TestStationRefusals::refusals_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("message");
    QTest::newRow("1 not registered") << "999" << "Số báo danh không đúng";
    QTest::newRow("1 a blank, sent as it is") << " " << "Số báo danh không đúng";
    QTest::newRow("-1 examined, nothing stored") << "206" << "Có lỗi xin vui lòng thử lại";
    // Every other answer code's text is the candidate flow's, tested with it.
}


void TestStationRefusals::refusals()
{
    QFETCH(QString, number);
    QFETCH(QString, message);

    CustomerBox *box = messageBox();
    box->hide();
    QVERIFY(enter(number));
    QTRY_VERIFY(box->isVisible());
    QCOMPARE(labelText(box, "lbContent"), message);
    QTest::mouseClick(box->findChild<QPushButton *>(QStringLiteral("btnOk")), Qt::LeftButton);
    QVERIFY(!box->isVisible() && !confirmDialog()->isVisible() && entryDialog()->isVisible());
    QVERIFY(labelText(m_window.get(), "lbName").isEmpty() && !child<QPushButton>("startBtn")->isEnabled());
}


void TestStationRefusals::brokenClipsAreNotScored_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<QList<int>>("broken");
    QTest::newRow("one situation") << "207" << QList<int>{31};
    QList<int> all{0};
    for (const Situation &s : packSituations())
        all << s.id;
    QTest::newRow("every clip, the count-down too") << "208" << all;
}


void TestStationRefusals::brokenClipsAreNotScored()
{
    QFETCH(QString, number);
    QFETCH(QList<int>, broken);

    // Replaced on disk while no examination runs, as a push would.
    QHash<QString, QByteArray> kept;
    for (int id : broken) {
        const QString clip = m_stationFolder + (id == 0 ? QStringLiteral("/videos/count_down.mp4")
                                                        : QStringLiteral("/videos/chapter%1_%2.mp4")
                                                              .arg(id / 10).arg(id % 10, 3, 10, QLatin1Char('0')));
        kept.insert(clip, TestFiles::read(clip));
        QVERIFY(TestFiles::write(clip, QByteArray(20000, 'x')));
    }
    const int uploads = serverLogCount(QStringLiteral("result for candidate"));
    QVERIFY(enter(number));
    QVERIFY(confirmIdentity());
    QTest::mouseClick(child<QPushButton>("startBtn"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!m_window->findChild<DialogWaiter *>()->isVisible(), 30000);

    // Early in every window that plays.
    const QList<Situation> order = composedOrder();
    ExpectedContest expected{order};
    QStringList scores, named, numbers;
    for (int k = 0; k < order.size(); ++k) {
        if (broken.contains(order.at(k).id)) {
            named << QStringLiteral("%1 (mã %2)").arg(k + 1).arg(order.at(k).id);
            numbers << QString::number(k + 1);
            continue;
        }
        QVERIFY(reachPosition(expected.windowStart(k) + 100));
        expected.press(pressSpace());
        QVERIFY(expected.scores.at(k) >= 4);
    }
    for (int k = 0; k < order.size(); ++k)
        scores << (broken.contains(order.at(k).id) ? QStringLiteral("Lỗi") : QString::number(expected.scores.at(k)));

    QTRY_VERIFY_WITH_TIMEOUT(resultDialog()->isVisible(), 60000);
    QCOMPARE(resultDialogScores(), scores);
    QCOMPARE(listTexts("resultLtisWidget"), scores);
    QCOMPARE(labelText(resultDialog(), "lbResult"), QStringLiteral("Lỗi video tình huống ") + numbers.join(", "));
    CustomerBox *box = messageBox();
    QTRY_VERIFY(box->isVisible());
    QCOMPARE(labelText(box, "lbContent"),
             QStringLiteral("Không phát được video tình huống %1. Bài thi không được chấm và không gửi về máy chủ, "
                            "thí sinh được thi lại").arg(named.join(", ")));
    QTest::mouseClick(box->findChild<QPushButton *>(QStringLiteral("btnOk")), Qt::LeftButton);
    QVERIFY(countDownToTheEntry());

    // Nothing was uploaded or kept for upload, and the candidate may sit a
    // new examination once the clips are sound again.
    for (auto it = kept.cbegin(); it != kept.cend(); ++it)
        QVERIFY(TestFiles::write(it.key(), it.value()));
    QCOMPARE(m_controller->resultOutbox()->undeliveredCount(), 0);
    QVERIFY(storedResults(number).isEmpty());
    QCOMPARE(serverLogCount(QStringLiteral("result for candidate")), uploads);
    QVERIFY(enter(number));
    QTRY_VERIFY(confirmDialog()->isVisible());
    QVERIFY(labelText(confirmDialog(), "title") != QStringLiteral("Xem lại bài thi"));
    QTest::mouseClick(confirmDialog()->findChild<QPushButton *>(QStringLiteral("btnCancel")), Qt::LeftButton);
    QVERIFY(!confirmDialog()->isVisible() && entryDialog()->isVisible());
}


void TestStationRefusals::reviewThatCannotBeRebuilt()
{
    // Stored by the server, but of situations this content does not have.
    QCOMPARE(serverCommand({QStringLiteral("add-result"), course, QStringLiteral("209"),
                            QStringLiteral("0;0;0;0;0;0;0;0;0;0|0;0;0;0;0;0;0;0;0;0|91;92;93;94;95;96;97;98;99;90")}),
             0);
    QVERIFY(enter(QStringLiteral("209")));
    QVERIFY(confirmIdentity());
    CustomerBox *box = messageBox();
    auto refused = [&] {
        return QTest::qWaitFor([&] { return box->isVisible() && entryDialog()->isVisible(); }, 10000)
               && labelText(box, "lbContent") == QStringLiteral("Thí sinh không hỗ trợ xem lại")
               && !child<QPushButton>("playBtn")->isVisible() && !child<QPushButton>("exitBtn")->isVisible()
               && labelText(m_window.get(), "lbName").isEmpty();
    };
    QVERIFY(refused());
    QTest::mouseClick(box->findChild<QPushButton *>(QStringLiteral("btnOk")), Qt::LeftButton);

    // Texts no server stores, as they would arrive on the link.
    for (const QString &text : {QStringLiteral("||"), QStringLiteral("5;4|900;0|31;32;33")}) {
        m_controller->onReview(text);
        QVERIFY2(refused(), qPrintable(text));
        QTest::mouseClick(box->findChild<QPushButton *>(QStringLiteral("btnOk")), Qt::LeftButton);
    }
}


QTEST_MAIN(TestStationRefusals)
#include "tst_stationrefusals.moc"
