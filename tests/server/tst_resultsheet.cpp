#include "ServerCommand.h"
#include "ServerStore.h"
#include "TestFiles.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

// The result sheets as the operator prints them with the real hazard-server,
// read back with poppler's tools.
class TestResultSheet : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();

    void courseSheetHoldsEveryExaminedCandidate();
    void refusalsLeaveTheFileAlone_data();
    void refusalsLeaveTheFileAlone();

private:
    int sheet(const QStringList &args, QString *out = nullptr, QString *err = nullptr)
    {
        return ServerCommand(m_db, m_dir.path()).run(QStringList{"sheet"} + args, out, err);
    }
    // Stores a result for a candidate of K1, letting an examined one sit again.
    static bool addResult(ServerStore &store, const QString &number, const QString &scores, const QString &ids,
                          const QDateTime &at);
    QStringList pdfText(const QString &pdf);

    QTemporaryDir m_dir;
    QString m_db;
    QDateTime m_firstAt;
};

bool TestResultSheet::addResult(ServerStore &store, const QString &number, const QString &scores,
                                const QString &ids, const QDateTime &at)
{
    CandidateRecord c;
    if (store.candidate(QStringLiteral("K1"), number, &c) != ServerStore::Lookup::Found
        || !store.setCandidateState(c.id, CandidateState::Ready))
        return false;
    ResultRecord r;
    r.candidateId = c.id;
    r.courseCode = QStringLiteral("K1");
    for (const QString &s : scores.split(QLatin1Char(';')))
        r.total += s.toInt();
    r.passScore = 35;
    r.passed = r.total >= 35;
    r.detail = scores + QStringLiteral("|1;2;3;4;5;6;7;8;9;10|") + ids;
    r.receivedAt = at;
    return store.storeResult(r) == ServerStore::Upload::Stored;
}

QStringList TestResultSheet::pdfText(const QString &pdf)
{
    QString text;
    if (ServerCommand::execute(QStringLiteral("pdftotext"), {"-layout", pdf, "-"}, &text) != 0)
        return {};
    return text.split(QLatin1Char('\f'), Qt::SkipEmptyParts);
}

void TestResultSheet::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_db = m_dir.filePath(QStringLiteral("server.db"));
    ServerStore store;
    QVERIFY(store.open(m_db, ServerStore::OpenMode::CreateIfMissing));
    QVERIFY(store.addCourse({QStringLiteral("K1"), QStringLiteral("Khóa 1 tháng 3")}));
    QVERIFY(store.addCourse({QStringLiteral("K2"), QStringLiteral("Khóa 2")}));

    QImage photo(90, 120, QImage::Format_RGB32);
    photo.fill(QColor(220, 30, 30));
    QByteArray png;
    QBuffer buffer(&png);
    QVERIFY(buffer.open(QIODevice::WriteOnly) && photo.save(&buffer, "PNG"));
    // 102's photo is Base64, but no picture.
    const QStringList photos{QString::fromLatin1(png.toBase64()), QStringLiteral("aGVsbG8="), QString()};
    const QStringList names{"Nguyễn Thị Hằng Đức", "Trần Văn Bình", "Lê Văn Chưa"};
    for (int i = 0; i < 3; ++i) {
        CandidateRecord c{0, QString::number(101 + i), QStringLiteral("K1"), 2,
                          QStringLiteral("07919000010%1").arg(i + 1), names.at(i), photos.at(i), CandidateState::Ready};
        QVERIFY2(store.addCandidate(&c), qPrintable(store.lastError()));
    }
    m_firstAt = QDateTime(QDate(2024, 3, 5), QTime(7, 40), Qt::UTC);
    QVERIFY(addResult(store, "101", "5;4;3;5;5;1;0;5;4;3", "12;25;39;41;57;63;78;84;95;106", m_firstAt));
    QVERIFY(addResult(store, "102", "1;1;1;1;1;1;1;1;1;1", "1;2;3;4;5;6;7;8;9;10", m_firstAt));
    QVERIFY(addResult(store, "102", "5;5;5;5;0;0;0;5;5;0", "11;22;33;44;55;66;77;88;99;100", m_firstAt.addDays(1)));
}

void TestResultSheet::courseSheetHoldsEveryExaminedCandidate()
{
    const QString pdf = m_dir.filePath(QStringLiteral("K1.pdf"));
    QString out;
    QString err;
    QCOMPARE(sheet({"--course", "K1", "--out", pdf, "--centre", "Trung tâm sát hạch Hà Nội"}, &out, &err), 0);
    QCOMPARE(out, QStringLiteral("sheet written: %1 (2 page(s))\n").arg(pdf));

    QString info;
    QVERIFY2(ServerCommand::execute(QStringLiteral("pdfinfo"), {pdf}, &info) == 0, "pdfinfo (poppler-utils) missing");
    QVERIFY2(info.contains(QRegularExpression(QStringLiteral("Pages:\\s+2\\n"))), qPrintable(info));
    QVERIFY2(info.contains(QRegularExpression(QStringLiteral("Page size:\\s+595(\\.\\d+)? x 84[12](\\.\\d+)? pts"))),
             qPrintable(info));
    QString fonts;
    QVERIFY2(ServerCommand::execute(QStringLiteral("pdffonts"), {pdf}, &fonts) == 0, "pdffonts (poppler-utils) missing");
    // The columns after the type: emb sub uni object-id generation.
    const QRegularExpression fontLine(QStringLiteral("^(\\S+).*\\s(yes|no)\\s+(yes|no)\\s+(yes|no)\\s+\\d+\\s+\\d+$"),
                                      QRegularExpression::MultilineOption);
    int embedded = 0;
    for (auto it = fontLine.globalMatch(fonts); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        QVERIFY2(m.captured(2) == QLatin1String("yes") && m.captured(1).contains(QLatin1String("DejaVuSans")),
                 qPrintable(fonts));
        ++embedded;
    }
    QVERIFY2(embedded > 0, qPrintable(fonts));

    const QStringList pages = pdfText(pdf);
    QCOMPARE(pages.size(), 2);
    const QString first = pages.at(0);
    for (const char *expected : {"Cục Đường bộ Việt Nam", "Trung tâm sát hạch Hà Nội", "Nguyễn Thị Hằng Đức",
                                 "079190000101", "B2", "K1 - Khóa 1 tháng 3", "35/50", "ĐẠT", "Thí sinh", "Sát hạch viên"})
        QVERIFY2(first.contains(QString::fromUtf8(expected)), expected);
    QVERIFY(first.contains(m_firstAt.toLocalTime().toString(QStringLiteral("dd/MM/yyyy HH:mm"))));
    QVERIFY2(!first.contains(QStringLiteral("KHÔNG ĐẠT")) && !first.contains(QStringLiteral("thi lại")),
             qPrintable(first));
    // Each situation on its own line: number, situation id, score.
    const QStringList ids = QStringLiteral("12;25;39;41;57;63;78;84;95;106").split(QLatin1Char(';'));
    const QStringList scores = QStringLiteral("5;4;3;5;5;1;0;5;4;3").split(QLatin1Char(';'));
    for (int i = 0; i < 10; ++i) {
        const QRegularExpression row(QStringLiteral("^\\s*%1\\s+%2\\s+%3\\s*$").arg(i + 1).arg(ids.at(i), scores.at(i)),
                                     QRegularExpression::MultilineOption);
        QVERIFY2(first.contains(row), qPrintable(row.pattern() + QLatin1Char('\n') + first));
    }
    // The candidate who sat twice: the second, latest result, marked as such.
    const QString second = pages.at(1);
    for (const char *expected : {"Trần Văn Bình", "Kết quả lần thi thứ 2 (thi lại)", "30/50", "KHÔNG ĐẠT"})
        QVERIFY2(second.contains(QString::fromUtf8(expected)), qPrintable(second));
    QVERIFY2(!second.contains(QStringLiteral("10/50")), qPrintable(second));

    // The photo shows on the first page only: the second candidate's is no picture.
    QString images;
    QVERIFY2(ServerCommand::execute(QStringLiteral("pdfimages"), {"-list", pdf}, &images) == 0, qPrintable(images));
    QStringList pagesWithImages;
    for (const QString &line : images.split(QLatin1Char('\n')).mid(2))
        pagesWithImages << line.simplified().section(QLatin1Char(' '), 0, 0);
    pagesWithImages.removeAll(QString());
    QCOMPARE(pagesWithImages, QStringList{"1"});

    // Both pages render to pictures without a complaint.
    QString rendered;
    QCOMPARE(ServerCommand::execute(QStringLiteral("pdftoppm"),
                                    {"-png", "-r", "40", pdf, m_dir.filePath(QStringLiteral("page"))}, &rendered, &rendered),
             0);
    QVERIFY2(rendered.isEmpty(), qPrintable(rendered));
    QVERIFY(QFileInfo(m_dir.filePath(QStringLiteral("page-1.png"))).size() > 0
            && QFileInfo(m_dir.filePath(QStringLiteral("page-2.png"))).size() > 0);

    // One candidate's sheet is that candidate's page alone.
    const QString one = m_dir.filePath(QStringLiteral("102.pdf"));
    QCOMPARE(sheet({"--course", "K1", "--number", "102", "--out", one}, &out), 0);
    QVERIFY2(out.contains(QLatin1String("(1 page(s))")), qPrintable(out));
    const QStringList onePage = pdfText(one);
    QCOMPARE(onePage.size(), 1);
    QVERIFY(onePage.first().contains(QStringLiteral("lần thi thứ 2")) && onePage.first().contains(QStringLiteral("30/50")));
}

void TestResultSheet::refusalsLeaveTheFileAlone_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("out");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    const QString old = QStringLiteral("old.pdf");
    QTest::newRow("unknown course") << QStringList{"--course", "K9"} << old << 1 << "no course K9";
    QTest::newRow("unknown candidate") << QStringList{"--course", "K1", "--number", "999"} << old << 1
                                       << "no candidate 999";
    QTest::newRow("candidate without result") << QStringList{"--course", "K1", "--number", "103"} << old << 1
                                              << "no stored result";
    QTest::newRow("course without result") << QStringList{"--course", "K2"} << old << 1
                                           << "no candidate of course K2";
    QTest::newRow("no course") << QStringList() << old << 2 << "--course";
    QTest::newRow("unwritable") << QStringList{"--course", "K1"} << "missing/K1.pdf" << 1 << "cannot write";
}

void TestResultSheet::refusalsLeaveTheFileAlone()
{
    QFETCH(QStringList, args);
    QFETCH(QString, out);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    const QString path = m_dir.filePath(out);
    const bool hadFile = QFileInfo(path).dir().exists();
    QVERIFY(!hadFile || TestFiles::write(path, "old"));
    QString err;
    QCOMPARE(sheet(args + QStringList{"--out", path}, nullptr, &err), exitCode);
    QVERIFY2(err.contains(message), qPrintable(err));
    QCOMPARE(TestFiles::read(path), hadFile ? QByteArray("old") : QByteArray("<missing>"));
}

QTEST_GUILESS_MAIN(TestResultSheet)
#include "tst_resultsheet.moc"
