#include "BusinessController.h"
#include "ClipFixture.h"
#include "Composer.h"
#include "Constants.h"
#include "ContestProcedure.h"
#include "ContestResultDialog.h"
#include "CustomerBox.h"
#include "DialogWaiter.h"
#include "Exercise.h"
#include "InfoConfirmDialog.h"
#include "InitialInfoDialog.h"
#include "MainWindow.h"
#include "PackBuilder.h"
#include "PlayerManager.h"
#include "ResultOutbox.h"
#include "ScriptedQuestion.h"
#include "ServerCommand.h"
#include "StationLook.h"
#include "TcpClient.h"
#include "TestFiles.h"

#include <QtTest>
#include <QtNetwork>
#include <QtWidgets>

#include <cerrno>
#include <memory>
#include <numeric>

namespace {

constexpr int countDownMs = 1000;
constexpr int situationMs = 2000;
constexpr int lookBackMs = 500;
const QString course = QStringLiteral("K1");

// Danger window in milliseconds from the start of the situation's own clip.
struct Situation
{
    int id = 0;
    int chapter = 0;
    int windowStart = 0;
    int windowEnd = 0;
};

// Exactly what an examination draws from chapters 1 to 6, so every examination
// plays all of them; windows differ so that a mix-up changes the scores.
QList<Situation> packSituations()
{
    const QList<int> perChapter{2, 1, 2, 1, 2, 2};
    QList<Situation> list;
    for (int chapter = 1; chapter <= perChapter.size(); ++chapter) {
        for (int th = 1; th <= perChapter.at(chapter - 1); ++th) {
            const int k = list.size();
            list.append({chapter * 10 + th, chapter, 300 + 50 * k, 1100 + 50 * k});
        }
    }
    return list;
}

qint64 clipStart(int k) { return qint64(k) * (countDownMs + situationMs) + countDownMs; }

template<typename T>
QString join(const QVector<T> &values)
{
    QStringList texts;
    for (const T &v : values)
        texts << QString::number(v);
    return texts.join(QLatin1Char(';'));
}

// The scoring worked out from the pack's windows alone: 5 to 1 by the fifth of
// the window a press falls in, or as if half a second earlier when that scores
// more; only the first press inside a situation's clip counts.
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

// Notes the title and text of each modal message box and presses its OK button.
struct BoxAnswerer : QTimer
{
    BoxAnswerer()
    {
        connect(this, &QTimer::timeout, [this] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (box && box->isVisible()) {
                seen << box->windowTitle() + QStringLiteral(" | ") + box->text();
                box->button(QMessageBox::Ok)->click();
            }
        });
        start(20);
    }
    QStringList seen;
};

bool writeConfig(const QString &folder, quint16 port)
{
    return QDir(folder).mkpath(QStringLiteral("config"))
           && TestFiles::write(folder + QStringLiteral("/config/connection_tcp.csv"),
                               QStringLiteral("SERVER:127.0.0.1:%1\n").arg(port).toLatin1());
}

} // namespace

class TestStationFlow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();

    void startupFailureEndsTheProgram_data();
    void startupFailureEndsTheProgram();
    void startupOpensTheEntry();
    void form_data();
    void form();
    void refusals_data();
    void refusals();
    void examination();
    void review();
    void reviewTheServerCannotSupply();
    void resultReachesARestartedServerOnce();
    void brokenClipsAreNotScored_data();
    void brokenClipsAreNotScored();
    void reviewThatCannotBeRebuilt();

private:
    int serverCommand(const QStringList &args, QString *out = nullptr) { return m_command->run(args, out); }
    QString serverLogFile(int index) const { return m_dir.filePath(QStringLiteral("server%1.log").arg(index)); }
    bool startServer(quint16 port)
    {
        m_port = m_command->serve({QStringLiteral("--listen"), QStringLiteral("127.0.0.1:%1").arg(port)},
                                  serverLogFile(m_serves++));
        return m_port != 0;
    }
    void stopServer()
    {
        m_command->server(m_serves - 1).terminate();
        m_command->server(m_serves - 1).waitForFinished(30000);
    }
    int serverLogCount(const QString &needle) const
    {
        int count = 0;
        for (int i = 0; i < m_serves; ++i)
            count += QString::fromUtf8(TestFiles::read(serverLogFile(i))).count(needle);
        return count;
    }
    // Per stored result: total, pass mark, passed, detail.
    QList<QStringList> storedResults(const QString &number)
    {
        QString out;
        serverCommand({QStringLiteral("results"), QStringLiteral("--csv")}, &out);
        const QStringList lines = out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        const QStringList header = lines.value(0).split(QLatin1Char(','));
        QList<QStringList> rows;
        for (const QString &line : lines.mid(1)) {
            const QStringList fields = line.split(QLatin1Char(','));
            auto field = [&](const char *name) { return fields.value(header.indexOf(QLatin1String(name))); };
            if (field("number") == number)
                rows << QStringList{field("total"), field("pass_score"), field("passed"), field("detail")};
        }
        return rows;
    }
    template<typename T>
    T *child(const char *name) const { return m_window->findChild<T *>(QLatin1String(name)); }
    InitialInfoDialog *entryDialog() const { return m_window->findChild<InitialInfoDialog *>(); }
    InfoConfirmDialog *confirmDialog() const { return m_window->findChild<InfoConfirmDialog *>(); }
    ContestResultDialog *resultDialog() const { return m_window->findChild<ContestResultDialog *>(); }
    CustomerBox *messageBox() const
    {
        for (QWidget *widget : QApplication::topLevelWidgets())
            if (auto *box = qobject_cast<CustomerBox *>(widget))
                return box;
        return nullptr;
    }
    QSlider *slider() const { return child<QSlider>("hzVideoTimeSlider"); }
    QString labelText(const QWidget *parent, const char *name) const
    {
        const auto *label = parent->findChild<QLabel *>(QLatin1String(name));
        return label ? label->text() : QStringLiteral("<no %1>").arg(QLatin1String(name));
    }
    QStringList listTexts(const char *name) const
    {
        QStringList texts;
        const auto *list = child<QListWidget>(name);
        for (int i = 0; i < list->count(); ++i)
            texts << list->item(i)->text();
        return texts;
    }
    QStringList resultDialogScores() const
    {
        QStringList scores;
        for (int i = 1; i <= 10; ++i)
            scores << labelText(resultDialog(), qPrintable(QStringLiteral("lb%1Score").arg(i)));
        return scores;
    }

    bool enter(const QString &number)
    {
        InitialInfoDialog *entry = entryDialog();
        auto *combo = entry->findChild<QComboBox *>(QStringLiteral("contestComboBox"));
        if (!QTest::qWaitFor([&] { return entry->isVisible() && combo->count() == 1; }, 10000))
            return false;
        auto *line = entry->findChild<QLineEdit *>(QStringLiteral("lineOrderNumber"));
        line->clear();
        QTest::keyClicks(line, number);
        QTest::mouseClick(entry->findChild<QPushButton *>(QStringLiteral("startButton")), Qt::LeftButton);
        return true;
    }
    bool confirmIdentity()
    {
        if (!QTest::qWaitFor([this] { return confirmDialog()->isVisible(); }, 10000))
            return false;
        QTest::mouseClick(confirmDialog()->findChild<QPushButton *>(QStringLiteral("btnConfirm")), Qt::LeftButton);
        return !confirmDialog()->isVisible() && !entryDialog()->isVisible();
    }
    bool reachPosition(qint64 position)
    {
        return QTest::qWaitFor([&] { return slider()->value() >= position; }, 60000);
    }
    // Space where the keyboard focus is; returns the timeline position.
    qint64 pressSpace()
    {
        QWidget *focus = QApplication::focusWidget();
        const qint64 at = slider()->value();
        QTest::keyClick(focus ? focus : m_window.get(), Qt::Key_Space);
        return at;
    }
    QList<Situation> composedOrder() const
    {
        QList<Situation> order;
        for (const Exercise *e : m_controller->composer()->exercises())
            for (const Situation &s : packSituations())
                if (s.id == e->id())
                    order << s;
        return order;
    }
    // The first second on the clock, the rest ticked on; then the entry is back.
    bool countDownToTheEntry()
    {
        ContestResultDialog *dialog = resultDialog();
        if (!QTest::qWaitFor([&] { return labelText(dialog, "labelCountDown") == QStringLiteral("Tắt trong 14"); }, 10000))
            return false;
        for (int tick = 2; tick < 15; ++tick)
            dialog->onDisapperDialog();
        if (!dialog->isVisible())
            return false;
        dialog->onDisapperDialog();
        return !dialog->isVisible() && entryDialog()->isVisible() && labelText(m_window.get(), "lbName").isEmpty();
    }

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
    ExpectedContest m_examined;
};

void TestStationFlow::initTestCase()
{
    StationLook::install();
    m_startFolder = QDir::currentPath();
    QVERIFY(m_dir.isValid());

    // The content pack: short clips, enciphered and listed in ksm.db.
    const QDir clips(m_dir.filePath(QStringLiteral("clips")));
    QVERIFY(clips.mkpath(QStringLiteral(".")));
    QStringList manifest{QStringLiteral("file,chapter,th,danger_start,danger_end,id,duration_ms"),
                         QStringLiteral("count_down.mp4,0,0,0,0,,%1").arg(countDownMs)};
    QVERIFY(ClipFixture::renderClip(clips.filePath(QStringLiteral("count_down.mp4")), countDownMs,
                                    QStringLiteral("smptebars")));
    for (const Situation &s : packSituations()) {
        const QString file = QStringLiteral("situation%1.mp4").arg(s.id);
        QVERIFY(ClipFixture::renderClip(clips.filePath(file), situationMs, QStringLiteral("testsrc2")));
        manifest << file + QStringLiteral(",%1,%2,%3,%4,%5,%6")
                               .arg(s.chapter).arg(s.id % 10).arg(s.windowStart).arg(s.windowEnd).arg(s.id).arg(situationMs);
    }
    const QString manifestFile = clips.filePath(QStringLiteral("manifest.csv"));
    QVERIFY(TestFiles::write(manifestFile, manifest.join(QLatin1Char('\n')).toUtf8() + '\n'));

    m_stationFolder = m_dir.filePath(QStringLiteral("station"));
    PackBuilder builder;
    builder.setSecrets(PackSecrets::builtIn());
    QVERIFY2(builder.build(manifestFile, m_stationFolder), qPrintable(builder.errors().join('\n')));
    m_packDigest = builder.secrets().digest;

    // The server: one course, and a candidate for every answer it can give.
    m_command = std::make_unique<ServerCommand>(m_dir.filePath(QStringLiteral("server.db")), m_dir.path());
    QCOMPARE(serverCommand({QStringLiteral("init")}), 0);
    QCOMPARE(serverCommand({QStringLiteral("add-course"), course, QStringLiteral("Khóa thi 1")}), 0);
    QImage photo(30, 40, QImage::Format_RGB32);
    photo.fill(QColor(200, 40, 40));
    QVERIFY(photo.save(m_dir.filePath(QStringLiteral("201.png"))));
    const QString csv = m_dir.filePath(QStringLiteral("candidates.csv"));
    QVERIFY(TestFiles::write(csv, QStringLiteral("number,course,class,pid,name,state,photo\n"
                             "201,K1,B2,079201000201,Nguyễn Thị Hương Giang,ready,201.png\n"
                             "202,K1,C,079202000202,Trần Văn Đức,ready,\n"
                             "206,K1,B2,079206000206,Vũ Thị Hà,examined,\n"
                             "207,K1,B2,079207000207,Đỗ Văn Hải,ready,\n"
                             "208,K1,B2,079208000208,Ngô Thị Lan,ready,\n"
                             "209,K1,B2,079209000209,Bùi Văn Minh,ready,\n")
                                      .toUtf8()));
    QCOMPARE(serverCommand({QStringLiteral("import"), csv}), 0);
    QVERIFY(startServer(0));

    TcpClient::instance().setRetryQuestion(&m_question);
}

void TestStationFlow::cleanupTestCase()
{
    m_window.reset();
    m_command.reset();
    TcpClient::instance().setRetryQuestion(nullptr);
    QDir::setCurrent(m_startFolder);
}

void TestStationFlow::startupFailureEndsTheProgram_data()
{
    QTest::addColumn<bool>("serverUp");
    QTest::addColumn<QString>("message");
    QTest::newRow("server down, retry declined")
        << false << QStringLiteral("Không kết nối được máy chủ quản lý mô phỏng (3) - (%1)").arg(ECONNREFUSED);
    QTest::newRow("content missing") << true << QStringLiteral("Không kết nối được cơ sở dữ liệu Sqlite mô phỏng hợp lệ");
}

void TestStationFlow::startupFailureEndsTheProgram()
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

void TestStationFlow::startupOpensTheEntry()
{
    QVERIFY(writeConfig(m_stationFolder, m_port) && QDir::setCurrent(m_stationFolder));
    BusinessController::Setup setup;
    setup.databaseDigest = m_packDigest;
    m_controller = new BusinessController(setup);
    m_window = std::make_unique<MainWindow>(m_controller);
    QVERIFY(m_window->runStartupChecks() && m_window->isVisible());
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

void TestStationFlow::form_data()
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

void TestStationFlow::form()
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

void TestStationFlow::refusals_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("message");
    QTest::newRow("1 not registered") << "999" << "Số báo danh không đúng";
    QTest::newRow("1 a blank, sent as it is") << " " << "Số báo danh không đúng";
    QTest::newRow("-1 examined, nothing stored") << "206" << "Có lỗi xin vui lòng thử lại";
    // Every other answer code's text is the candidate flow's, tested with it.
}

void TestStationFlow::refusals()
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

void TestStationFlow::examination()
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

void TestStationFlow::review()
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

void TestStationFlow::reviewTheServerCannotSupply()
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

void TestStationFlow::resultReachesARestartedServerOnce()
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

void TestStationFlow::brokenClipsAreNotScored_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<QList<int>>("broken");
    QTest::newRow("one situation") << "207" << QList<int>{31};
    QList<int> all{0};
    for (const Situation &s : packSituations())
        all << s.id;
    QTest::newRow("every clip, the count-down too") << "208" << all;
}

void TestStationFlow::brokenClipsAreNotScored()
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

void TestStationFlow::reviewThatCannotBeRebuilt()
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

QTEST_MAIN(TestStationFlow)
#include "tst_station.moc"
