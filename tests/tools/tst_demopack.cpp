#include "Constants.h"

#include <QProcess>
#include <QtTest>

// The bundled pack must pass the tool's own checks. That the station opens
// it with the values this build compiled in is tst_businesscontroller's
// content check; its danger windows are checked in tst_hazardwalk.
class TestDemoPack : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void toolVerifiesTheBundledPack();
};

void TestDemoPack::initTestCase()
{
    if (Constants::dbDigest() == QLatin1String("00000000000000000000000000000000"))
        QSKIP("this build folder was configured before the demo pack existed; reconfigure it "
              "with the values demo/make-pack.sh prints");
}

void TestDemoPack::toolVerifiesTheBundledPack()
{
    QProcess tool;
    tool.start(QStringLiteral(HAZARD_CONTENT_PROGRAM),
               {QStringLiteral("verify"), QStringLiteral(DEMO_PACK_DIR)});
    QVERIFY(tool.waitForFinished(240000));
    const QString output = QString::fromUtf8(tool.readAllStandardOutput());
    if (output.contains(QLatin1String("ffprobe is not installed")))
        QSKIP("ffprobe is needed to check the videos");
    QVERIFY2(tool.exitCode() == 0, qPrintable(output));
}

QTEST_GUILESS_MAIN(TestDemoPack)
#include "tst_demopack.moc"
