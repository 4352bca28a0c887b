#include "VideoWidget.h"

#include <QtTest>

#include <QKeyEvent>

#include <memory>

namespace {

// Stands in for the main window: records the keys that reach it, leaving out
// the presses of the modifier keys themselves.
class KeyRecorder : public QWidget
{
public:
    QList<int> keys;

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        if (event->key() != Qt::Key_Alt)
            keys.append(event->key());
    }
};

} // namespace

class TestVideoWidget : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void fullScreenToggles();
    void otherKeysReachTheParent_data();
    void otherKeysReachTheParent();

private:
    std::unique_ptr<KeyRecorder> m_parent;
    VideoWidget *m_video = nullptr;
};

void TestVideoWidget::init()
{
    m_parent = std::make_unique<KeyRecorder>();
    m_video = new VideoWidget(m_parent.get());
    m_parent->resize(320, 240);
    m_video->setGeometry(0, 0, 320, 200);
    m_parent->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_parent.get()));
    m_video->setFocus();
}

void TestVideoWidget::fullScreenToggles()
{
    QTest::keyClick(m_video, Qt::Key_Enter, Qt::AltModifier | Qt::KeypadModifier);
    QTRY_VERIFY(m_video->isFullScreen());
    QTest::keyClick(m_video, Qt::Key_Enter, Qt::AltModifier | Qt::KeypadModifier);
    QTRY_VERIFY(!m_video->isFullScreen());

    QTest::mouseDClick(m_video, Qt::LeftButton);
    QTRY_VERIFY(m_video->isFullScreen());
    QTest::keyClick(m_video, Qt::Key_Escape);
    QTRY_VERIFY(!m_video->isFullScreen());

    QTest::mouseDClick(m_video, Qt::LeftButton);
    QTRY_VERIFY(m_video->isFullScreen());
    QTest::mouseDClick(m_video, Qt::LeftButton);
    QTRY_VERIFY(!m_video->isFullScreen());
    // Back inside its parent, not a window of its own.
    QCOMPARE(m_video->parentWidget(), m_parent.get());
    QVERIFY(!m_video->isWindow());
    QVERIFY(m_parent->keys.isEmpty());
}

void TestVideoWidget::otherKeysReachTheParent_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");

    QTest::newRow("space, the flag key") << int(Qt::Key_Space) << int(Qt::NoModifier);
    QTest::newRow("escape when not full screen") << int(Qt::Key_Escape) << int(Qt::NoModifier);
    QTest::newRow("keypad enter without alt") << int(Qt::Key_Enter) << int(Qt::KeypadModifier);
    QTest::newRow("alt return") << int(Qt::Key_Return) << int(Qt::AltModifier);
}

void TestVideoWidget::otherKeysReachTheParent()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);

    QTest::keyClick(m_video, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(m_parent->keys, QList<int>{key});
    QVERIFY(!m_video->isFullScreen());
}

QTEST_MAIN(TestVideoWidget)
#include "tst_videowidget.moc"
