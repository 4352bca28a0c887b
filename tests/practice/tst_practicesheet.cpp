#include "PracticeSheet.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

// The mock examination's PDF result sheet, read back with poppler-utils.
class TstPracticeSheet : public QObject
{
    Q_OBJECT

private:
    static QString run(const QString &program, const QStringList &args)
    {
        QProcess process;
        process.start(program, args);
        if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
            return QString();
        return QString::fromUtf8(process.readAllStandardOutput());
    }

private slots:
    void a4WithTheTenScoresAndTheTotal()
    {
        QTemporaryDir dir;
        const QList<int> scores = {5, 4, 0, 3, 5, 2, 1, 5, 4, 3};
        QList<PracticeSheet::Row> rows;
        for (int i = 0; i < scores.size(); ++i)
            rows << PracticeSheet::Row{QString::number(101 + 7 * i), scores.at(i)};
        PracticeSheet sheet(QDateTime::fromString(QStringLiteral("2024-03-01T09:30:00"), Qt::ISODate), rows);
        QCOMPARE(sheet.total(), 32);
        const QString pdf = dir.filePath(QStringLiteral("thi-thu.pdf"));
        QString why;
        QVERIFY2(sheet.writePdf(pdf, &why), qPrintable(why));

        const QString info = run(QStringLiteral("pdfinfo"), {pdf});
        QVERIFY2(info.contains(QRegularExpression(QStringLiteral("Pages:\\s+1\\n"))), qPrintable(info));
        QVERIFY2(info.contains(QRegularExpression(QStringLiteral("Page size:\\s+595(\\.\\d+)? x 84[12](\\.\\d+)? pts"))),
                 qPrintable(info));
        const QString text = run(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
        QVERIFY2(text.contains(QStringLiteral("Tổng điểm: 32/50")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("KHÔNG ĐẠT")), qPrintable(text));
        QVERIFY(text.contains(QStringLiteral("01/03/2024 09:30")));
        // Each row whole and in order: question, situation, score.
        for (int i = 0; i < scores.size(); ++i) {
            const QRegularExpression line(
                QStringLiteral("^\\s*%1\\s+%2\\s+%3\\s*$").arg(i + 1).arg(rows.at(i).number).arg(scores.at(i)),
                QRegularExpression::MultilineOption);
            QVERIFY2(text.contains(line), qPrintable(QStringLiteral("row %1 missing in:\n%2").arg(i + 1).arg(text)));
        }
    }

    void unwritableFolderFailsAndNamesIt()
    {
        PracticeSheet sheet(QDateTime::currentDateTime(), {{QStringLiteral("1"), 5}});
        QString why;
        QVERIFY(!sheet.writePdf(QStringLiteral("/nonexistent-folder/sheet.pdf"), &why));
        QVERIFY2(why.contains(QStringLiteral("/nonexistent-folder/sheet.pdf")), qPrintable(why));
    }
};

QTEST_MAIN(TstPracticeSheet)
#include "tst_practicesheet.moc"
