#include "Admission.h"
#include "CandidateHolds.h"
#include "ServerSeed.h"
#include "ServerStore.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString detail25 = QStringLiteral("5;0;3;1;4;0;2;5;5;0|10400;30000;52000;71000;90500;0;131000;150200;171000;190000|"
                                        "3;17;25;41;44;58;63;71;80;92");

} // namespace

// The admission rules against a real store, without a connection: what the
// station is answered, and who holds the candidate afterwards.
class TestAdmission : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void decidesByState_data();
    void decidesByState();
    void candidateHeldByAnotherStation();
    void noHoldsAdmitNobody_data();
    void noHoldsAdmitNobody();
    void databaseFailure();

private:
    QScopedPointer<QTemporaryDir> m_dir;
    QScopedPointer<ServerStore> m_store;
    QScopedPointer<CandidateHolds> m_holds;
    QScopedPointer<QObject> m_station;
    QScopedPointer<QObject> m_other;
};

void TestAdmission::init()
{
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
    m_store.reset(new ServerStore);
    QVERIFY2(ServerSeed::open(*m_store, m_dir->filePath(QStringLiteral("server.db"))), qPrintable(m_store->lastError()));
    QVERIFY(m_store->addCourse({QStringLiteral("K2"), QStringLiteral("Khóa 2")}));
    const QList<CandidateState::Value> states{CandidateState::Ready, CandidateState::Ready, CandidateState::Examined,
                                              CandidateState::TheoryNotPassed, CandidateState::NotRequired};
    for (int i = 0; i < states.size(); ++i)
        QVERIFY(ServerSeed::addCandidate(*m_store, QString::number(101 + i), states.at(i)));
    // 102 is examined by storing its result; 103 is marked examined without one.
    const ResultRecord stored{0, ServerSeed::idOf(*m_store, QStringLiteral("102")), QStringLiteral("K1"), 25, 35, false,
                              detail25, {}, {}, {}, {}, {}, 0, {}};
    QCOMPARE(m_store->storeResult(stored), ServerStore::Upload::Stored);

    m_holds.reset(new CandidateHolds(m_store.data()));
    m_holds->open();
    m_station.reset(new QObject);
    m_station->setObjectName(QStringLiteral("127.0.0.1:4001"));
    m_other.reset(new QObject);
    m_other->setObjectName(QStringLiteral("127.0.0.1:4002"));
}

void TestAdmission::cleanup()
{
    m_other.reset();
    m_station.reset();
    m_holds.reset();
    m_store.reset();
    m_dir.reset();
}

void TestAdmission::decidesByState_data()
{
    QTest::addColumn<QString>("course");
    QTest::addColumn<QString>("number");
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("registered");
    QTest::addColumn<QString>("reason");
    QTest::newRow("ready: admitted and held") << "K1" << "101" << 0 << true << QString();
    QTest::newRow("examined with a result: review") << "K1" << "102" << 2 << true << QString();
    QTest::newRow("examined without a result") << "K1" << "103" << -1 << true << "examined, but no result is stored";
    QTest::newRow("theory not passed") << "K1" << "104" << 5 << true << QString();
    QTest::newRow("not required") << "K1" << "105" << 6 << true << QString();
    QTest::newRow("unknown number") << "K1" << "999" << 1 << false << "not registered";
    QTest::newRow("empty number") << "K1" << QString() << 1 << false << "not registered";
    QTest::newRow("registered in another course") << "K2" << "101" << 1 << false << "not registered";
    QTest::newRow("unknown course") << "K7" << "101" << 1 << false << "no such course";
}

void TestAdmission::decidesByState()
{
    QFETCH(QString, course);
    QFETCH(QString, number);
    QFETCH(int, code);
    QFETCH(bool, registered);
    QFETCH(QString, reason);
    Admission admission(m_store.data(), m_holds.data());
    const Admission::Decision decision = admission.decide(course, number, m_station.data());
    QCOMPARE(int(decision.code), code);
    QCOMPARE(decision.registered, registered);
    QCOMPARE(decision.reason, reason);
    const int id = registered ? ServerSeed::idOf(*m_store, number) : 0;
    QCOMPARE(decision.candidate.id, id);
    if (registered)
        QCOMPARE(decision.candidate.number, number);
    // Only an admission holds the candidate.
    const int candidate = ServerSeed::idOf(*m_store, number.isEmpty() ? QStringLiteral("101") : number);
    QCOMPARE(m_holds->holder(candidate), code == 0 ? m_station.data() : nullptr);
}

void TestAdmission::candidateHeldByAnotherStation()
{
    Admission mine(m_store.data(), m_holds.data());
    Admission theirs(m_store.data(), m_holds.data());
    const QString course = QStringLiteral("K1"), number = QStringLiteral("101");
    const int id = ServerSeed::idOf(*m_store, number);
    QCOMPARE(int(mine.decide(course, number, m_station.data()).code), 0);

    const Admission::Decision refused = theirs.decide(course, number, m_other.data());
    QCOMPARE(int(refused.code), 3);
    QCOMPARE(refused.candidate.id, id);
    QCOMPARE(refused.reason, QStringLiteral("being examined at 127.0.0.1:4001"));
    QCOMPARE(m_holds->holder(id), m_station.data());
    // Neither the other station's release nor a second entry by the holder
    // lets go of the candidate.
    theirs.release(id, m_other.data());
    QCOMPARE(int(mine.decide(course, number, m_station.data()).code), 0);
    QCOMPARE(m_holds->holder(id), m_station.data());

    mine.releaseAll(m_station.data());
    QCOMPARE(int(theirs.decide(course, number, m_other.data()).code), 0);
    // An examination that is over frees the candidate whoever held it.
    mine.releaseExamined(id);
    QCOMPARE(m_holds->holder(id), nullptr);
}

void TestAdmission::noHoldsAdmitNobody_data()
{
    QTest::addColumn<bool>("deleted");
    QTest::newRow("holds closed: the server is stopping") << false;
    QTest::newRow("holds gone") << true;
}

void TestAdmission::noHoldsAdmitNobody()
{
    QFETCH(bool, deleted);
    Admission admission(m_store.data(), m_holds.data());
    if (deleted)
        m_holds.reset();
    else
        m_holds->close();
    const Admission::Decision decision = admission.decide(QStringLiteral("K1"), QStringLiteral("101"), m_station.data());
    QCOMPARE(int(decision.code), -1);
    QVERIFY(decision.registered);
    QCOMPARE(decision.reason, QStringLiteral("the server is stopping"));
    if (m_holds)
        QCOMPARE(m_holds->holder(decision.candidate.id), nullptr);
    // Letting go without holds is no fault either.
    admission.release(decision.candidate.id, m_station.data());
    admission.releaseAll(m_station.data());
}

void TestAdmission::databaseFailure()
{
    Admission admission(m_store.data(), m_holds.data());
    m_store->close();
    const Admission::Decision decision = admission.decide(QStringLiteral("K1"), QStringLiteral("101"), m_station.data());
    QCOMPARE(int(decision.code), -1);
    QVERIFY(!decision.registered);
    QCOMPARE(decision.candidate.id, 0);
    QVERIFY(!decision.reason.isEmpty());
    QCOMPARE(decision.reason, m_store->lastError());
}

QTEST_GUILESS_MAIN(TestAdmission)
#include "tst_admission.moc"
