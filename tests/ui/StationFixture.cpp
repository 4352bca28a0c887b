#include "StationFixture.h"

#include "BusinessController.h"
#include "ClipFixture.h"
#include "Composer.h"
#include "ContestResultDialog.h"
#include "CustomerBox.h"
#include "Exercise.h"
#include "InfoConfirmDialog.h"
#include "InitialInfoDialog.h"
#include "PackBuilder.h"
#include "StationLook.h"
#include "TcpClient.h"
#include "TestFiles.h"

#include <QtTest>
#include <QtWidgets>

QList<StationFixture::Situation> StationFixture::packSituations()
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

StationFixture::BoxAnswerer::BoxAnswerer()
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

bool StationFixture::writeConfig(const QString &folder, quint16 port)
{
    return QDir(folder).mkpath(QStringLiteral("config"))
           && TestFiles::write(folder + QStringLiteral("/config/connection_tcp.csv"),
                               QStringLiteral("SERVER:127.0.0.1:%1\n").arg(port).toLatin1());
}

void StationFixture::setUpStation()
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

void StationFixture::tearDownStation()
{
    m_window.reset();
    m_command.reset();
    TcpClient::instance().setRetryQuestion(nullptr);
    QDir::setCurrent(m_startFolder);
}

bool StationFixture::openStation()
{
    if (!writeConfig(m_stationFolder, m_port) || !QDir::setCurrent(m_stationFolder))
        return false;
    BusinessController::Setup setup;
    setup.databaseDigest = m_packDigest;
    m_controller = new BusinessController(setup);
    m_window = std::make_unique<MainWindow>(m_controller);
    return m_window->runStartupChecks() && m_window->isVisible();
}

bool StationFixture::startServer(quint16 port)
{
    m_port = m_command->serve({QStringLiteral("--listen"), QStringLiteral("127.0.0.1:%1").arg(port)},
                              serverLogFile(m_serves++));
    return m_port != 0;
}

void StationFixture::stopServer()
{
    m_command->server(m_serves - 1).terminate();
    m_command->server(m_serves - 1).waitForFinished(30000);
}

int StationFixture::serverLogCount(const QString &needle) const
{
    int count = 0;
    for (int i = 0; i < m_serves; ++i)
        count += QString::fromUtf8(TestFiles::read(serverLogFile(i))).count(needle);
    return count;
}

QList<QStringList> StationFixture::storedResults(const QString &number)
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

InitialInfoDialog *StationFixture::entryDialog() const { return m_window->findChild<InitialInfoDialog *>(); }
InfoConfirmDialog *StationFixture::confirmDialog() const { return m_window->findChild<InfoConfirmDialog *>(); }
ContestResultDialog *StationFixture::resultDialog() const { return m_window->findChild<ContestResultDialog *>(); }

CustomerBox *StationFixture::messageBox() const
{
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (auto *box = qobject_cast<CustomerBox *>(widget))
            return box;
    return nullptr;
}

QSlider *StationFixture::slider() const { return child<QSlider>("hzVideoTimeSlider"); }

QString StationFixture::labelText(const QWidget *parent, const char *name) const
{
    const auto *label = parent->findChild<QLabel *>(QLatin1String(name));
    return label ? label->text() : QStringLiteral("<no %1>").arg(QLatin1String(name));
}

QStringList StationFixture::listTexts(const char *name) const
{
    QStringList texts;
    const auto *list = child<QListWidget>(name);
    for (int i = 0; i < list->count(); ++i)
        texts << list->item(i)->text();
    return texts;
}

QStringList StationFixture::resultDialogScores() const
{
    QStringList scores;
    for (int i = 1; i <= 10; ++i)
        scores << labelText(resultDialog(), qPrintable(QStringLiteral("lb%1Score").arg(i)));
    return scores;
}

bool StationFixture::enter(const QString &number)
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

bool StationFixture::confirmIdentity()
{
    if (!QTest::qWaitFor([this] { return confirmDialog()->isVisible(); }, 10000))
        return false;
    QTest::mouseClick(confirmDialog()->findChild<QPushButton *>(QStringLiteral("btnConfirm")), Qt::LeftButton);
    return !confirmDialog()->isVisible() && !entryDialog()->isVisible();
}

bool StationFixture::reachPosition(qint64 position)
{
    return QTest::qWaitFor([&] { return slider()->value() >= position; }, 60000);
}

qint64 StationFixture::pressSpace()
{
    QWidget *focus = QApplication::focusWidget();
    const qint64 at = slider()->value();
    QTest::keyClick(focus ? focus : m_window.get(), Qt::Key_Space);
    return at;
}

QList<StationFixture::Situation> StationFixture::composedOrder() const
{
    QList<Situation> order;
    for (const Exercise *e : m_controller->composer()->exercises())
        for (const Situation &s : packSituations())
            if (s.id == e->id())
                order << s;
    return order;
}

bool StationFixture::countDownToTheEntry()
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
