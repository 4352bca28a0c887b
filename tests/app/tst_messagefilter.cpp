#include "MessageFilter.h"

#include <QtTest>

namespace {

QStringList received;

void record(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    received << QStringLiteral("%1 %2 %3").arg(int(type)).arg(QLatin1String(context.category), text);
}

} // namespace

class TestMessageFilter : public QObject
{
    Q_OBJECT
private slots:
    // What the GStreamer back end prints for every clip on a machine without a
    // sound server becomes one line; everything else passes as it was.
    void soundServerFailureReportedOnce()
    {
        received.clear();
        const QtMessageHandler before = qInstallMessageHandler(&record);
        {
            MessageFilter filter;
            qWarning() << "Warning:" << QStringLiteral("Failed to connect: Connection refused");
            for (int clip = 0; clip < 20; ++clip) {
                qWarning() << "Warning:" << QStringLiteral("Failed to connect: Connection refused");
                qWarning() << "Error:" << QStringLiteral("Resource not found.");
            }
            QLoggingCategory elsewhere("hazard.net");
            qCWarning(elsewhere) << "Warning:" << QStringLiteral("Failed to connect: Connection refused");
        }
        qWarning() << "Warning:" << QStringLiteral("Failed to connect: Connection refused");
        qInstallMessageHandler(before);

        QCOMPARE(received.count(QStringLiteral("1 hazard.app No sound server answers (Connection refused): "
                                               "the clips' sound goes to another audio device if there is one, else nowhere")),
                 1);
        QCOMPARE(received.count(QStringLiteral("1 default Error: \"Resource not found.\"")), 20);
        // Another category's line, and any line once the filter is gone, pass.
        QCOMPARE(received.count(QStringLiteral("1 hazard.net Warning: \"Failed to connect: Connection refused\"")), 1);
        QCOMPARE(received.last(), QStringLiteral("1 default Warning: \"Failed to connect: Connection refused\""));
        QCOMPARE(received.size(), 23);
    }
};

QTEST_GUILESS_MAIN(TestMessageFilter)
#include "tst_messagefilter.moc"
