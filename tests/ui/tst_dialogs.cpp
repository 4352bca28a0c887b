#include "AboutDialog.h"
#include "ContestResultDialog.h"
#include "CustomerBox.h"
#include "DialogWaiter.h"
#include "InfoConfirmDialog.h"
#include "StationLook.h"
#include "StudentInfo.h"

#include "HazardVersion.h"

#include <QtTest>
#include <QtWidgets>

#include <memory>

namespace {

std::unique_ptr<QDialog> makeDialog(const QString &kind)
{
    if (kind == QLatin1String("InfoConfirmDialog"))
        return std::make_unique<InfoConfirmDialog>();
    if (kind == QLatin1String("ContestResultDialog"))
        return std::make_unique<ContestResultDialog>();
    if (kind == QLatin1String("CustomerBox"))
        return std::make_unique<CustomerBox>();
    if (kind == QLatin1String("DialogWaiter"))
        return std::make_unique<DialogWaiter>();
    return std::make_unique<AboutDialog>();
}

QString label(const QWidget &dialog, const char *name)
{
    const auto *found = dialog.findChild<QLabel *>(QLatin1String(name));
    return found ? found->text() : QStringLiteral("<missing %1>").arg(QLatin1String(name));
}

void click(const QWidget &dialog, const char *button)
{
    QTest::mouseClick(dialog.findChild<QAbstractButton *>(QLatin1String(button)), Qt::LeftButton);
}

// A photo as the server sends it: an image file in Base64 text.
QString photo(const QColor &colour)
{
    QImage image(12, 16, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return QString::fromLatin1(bytes.toBase64());
}

QPixmap avatar(const QWidget &dialog)
{
    return dialog.findChild<QLabel *>(QStringLiteral("lbAvatar"))->pixmap(Qt::ReturnByValue);
}

} // namespace

class TestDialogs : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { StationLook::install(); }
    void artworkLoads_data();
    void artworkLoads();
    void formFontsShowVietnamese_data();
    void formFontsShowVietnamese();
    void formTexts_data();
    void formTexts();
    void confirmation();
    void resultScores_data();
    void resultScores();
    void resultCountsDown();
    void boxes();
};

void TestDialogs::artworkLoads_data()
{
    QTest::addColumn<QString>("path");
    for (const char *path : {":/images/resources/images/administrator.png",
                             ":/images/resources/images/RoadDepartment.png",
                             ":/icon/resources/icon/app_icon.svg",
                             ":/icon/resources/icon/warning_icon.svg",
                             ":/icon/resources/icon/refresh.ico",
                             ":/icon/resources/icon/vorn.png",
                             ":/icon/resources/icon/student.svg",
                             ":/icon/resources/icon/exam.svg"})
        QTest::newRow(path) << QString::fromLatin1(path);
}

void TestDialogs::artworkLoads()
{
    QFETCH(QString, path);
    const QPixmap pixmap(path);
    QVERIFY(!pixmap.isNull());
    QVERIFY(pixmap.width() >= 16 && pixmap.height() >= 16);
    const QIcon icon(path);
    QVERIFY(!icon.pixmap(32, 32).isNull());
}

void TestDialogs::formFontsShowVietnamese_data()
{
    QTest::addColumn<QString>("family");
    QTest::newRow("Tahoma") << QStringLiteral("Tahoma");
    QTest::newRow("Arial") << QStringLiteral("Arial");
}

void TestDialogs::formFontsShowVietnamese()
{
    QFETCH(QString, family);
    QVERIFY2(!StationLook::fallbackFamily().isEmpty(), "no installed font covers Vietnamese");
    const QFont font(family);
    if (!QFontDatabase().hasFamily(family))
        QCOMPARE(QFontInfo(font).family(), StationLook::fallbackFamily());

    const QString letters = QStringLiteral(
        "aăâbcdđeêghiklmnoôơpqrstuưvxy"
        "àảãáạằẳẵắặầẩẫấậèẻẽéẹềểễếệìỉĩíịòỏõóọồổỗốộờởỡớợùủũúụừửữứựỳỷỹýỵ");
    const QRawFont raw = QRawFont::fromFont(font);
    QVERIFY(raw.isValid());
    for (const QChar c : letters + letters.toUpper())
        QVERIFY2(raw.supportsCharacter(c), qPrintable(QString(c)));
}

void TestDialogs::formTexts_data()
{
    QTest::addColumn<QString>("kind");
    // Empty when the text is a caption whose widget name nothing relies on.
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");

    const QString confirm = QStringLiteral("InfoConfirmDialog");
    QTest::newRow("confirm heading") << confirm << "title" << "Thông tin học viên";
    QTest::newRow("confirm ok") << confirm << "btnConfirm" << "Xác nhận";
    QTest::newRow("confirm cancel") << confirm << "btnCancel" << "Hủy bỏ";
    for (const char *caption : {"Loại GPLX:", "Họ và tên:", "Số CMT:", "Số báo danh:"})
        QTest::addRow("confirm %s", caption) << confirm << "" << QString::fromUtf8(caption);

    const QString result = QStringLiteral("ContestResultDialog");
    for (const char *caption : {"Kết quả thi sát hạch", "Loại GPLX:", "Họ và tên:", "Số CMT:",
                                "Số báo danh:", "Số điểm đạt được:", "Tình huống", "Điểm"})
        QTest::addRow("result %s", caption) << result << "" << QString::fromUtf8(caption);
    QTest::newRow("result verdict caption") << result << "lbResultTitle" << "Kết quả:";

    QTest::newRow("box text") << "CustomerBox" << "lbContent" << "Số báo danh không đúng";
    QTest::newRow("box ok") << "CustomerBox" << "btnOk" << "Đóng";
    QTest::newRow("waiter") << "DialogWaiter" << "" << "Xin đợi trong giây lát...";
    QTest::newRow("about version") << "AboutDialog" << "label_3" << QString(QStringLiteral("Phiên bản ") + QLatin1String(HAZARD_VERSION));
    QTest::newRow("about close") << "AboutDialog" << "closeButton" << "Đóng";
    QTest::newRow("confirm title") << confirm << "windowTitle" << "Xác nhận thông tin học viên";
    QTest::newRow("result title") << result << "windowTitle" << "Kết quả thi";
    QTest::newRow("box title") << "CustomerBox" << "windowTitle" << "Phần mềm sát hạch";
    QTest::newRow("about title") << "AboutDialog" << "windowTitle" << "Thông tin phần mềm";
}

void TestDialogs::formTexts()
{
    QFETCH(QString, kind);
    QFETCH(QString, name);
    QFETCH(QString, text);
    const auto dialog = makeDialog(kind);
    if (name == QLatin1String("windowTitle")) {
        QCOMPARE(dialog->windowTitle(), text);
        return;
    }
    if (!name.isEmpty()) {
        const auto *widget = dialog->findChild<QWidget *>(name);
        QVERIFY2(widget, qPrintable(name));
        const auto *button = qobject_cast<const QAbstractButton *>(widget);
        const auto *shown = qobject_cast<const QLabel *>(widget);
        QCOMPARE(button ? button->text() : shown ? shown->text() : QString(), text);
        return;
    }
    const auto labels = dialog->findChildren<QLabel *>();
    QVERIFY2(std::any_of(labels.begin(), labels.end(), [&](const QLabel *l) { return l->text() == text; }),
             qPrintable(text));
}

void TestDialogs::confirmation()
{
    // Reused for the next candidate: nothing of the first one stays.
    InfoConfirmDialog dialog;
    dialog.setInfo(QStringLiteral("B2"), QStringLiteral("Trần Văn Đức"), QStringLiteral("0123"),
                   QStringLiteral("0042"), true);
    dialog.setImage(photo(Qt::red));
    dialog.setInfo(QStringLiteral("FE"), QStringLiteral("Lê Thị Ánh"), QStringLiteral("0456"),
                   QStringLiteral("0043"), false);
    dialog.setImage(photo(Qt::blue));
    QCOMPARE(label(dialog, "title"), QStringLiteral("Thông tin học viên"));
    const QStringList shown{label(dialog, "lbCertType"), label(dialog, "lbName"), label(dialog, "lbPId"),
                            label(dialog, "lbOrderNumber")};
    QCOMPARE(shown, (QStringList{"FE", "Lê Thị Ánh", "0456", "0043"}));
    QCOMPARE(avatar(dialog).toImage().pixel(1, 1), QColor(Qt::blue).rgb());

    QTest::ignoreMessage(QtInfoMsg, "InfoConfirmDialog::setImage: Can't load image into pixmap");
    dialog.setImage(QStringLiteral("bm90IGEgcGljdHVyZQ=="));
    QVERIFY(avatar(dialog).isNull());

    // The buttons only signal; the window decides what closes.
    QSignalSpy confirmed(&dialog, &InfoConfirmDialog::notifyConfirmInfo);
    QSignalSpy cancelled(&dialog, &InfoConfirmDialog::notifyCancelInfo);
    dialog.show();
    click(dialog, "btnConfirm");
    click(dialog, "btnCancel");
    QCOMPARE(confirmed.count(), 1);
    QCOMPARE(cancelled.count(), 1);
    QVERIFY(dialog.isVisible());
}

void TestDialogs::resultScores_data()
{
    QTest::addColumn<QString>("detail");
    QTest::addColumn<QStringList>("scores");
    const QString none;
    QTest::newRow("ten, with flags and ids") << "5;4;3;2;1;0;5;4;3;2|1200;5300|12;14"
                                             << QStringList{"5", "4", "3", "2", "1", "0", "5", "4", "3", "2"};
    QTest::newRow("fewer than ten") << "5;0;3|1200;0;5300"
                                    << QStringList{"5", "0", "3", none, none, none, none, none, none, none};
    QTest::newRow("empty detail") << "" << QStringList{none, none, none, none, none, none, none, none, none, none};
    QTest::newRow("more than ten") << "1;1;1;1;1;1;1;1;1;1;4|0;0;0;0;0;0;0;0;0;0;0"
                                   << QStringList{"1", "1", "1", "1", "1", "1", "1", "1", "1", "1"};
}

void TestDialogs::resultScores()
{
    QFETCH(QString, detail);
    QFETCH(QStringList, scores);
    StudentInfo student;
    student.setCert(2);
    student.setFullName(QStringLiteral("Nguyễn Thị Hương Giang"));
    student.setPid(QStringLiteral("001203004567"));
    student.setOrderNumber(QStringLiteral("0042"));
    ContestResultDialog dialog;
    // The dialog is reused: the previous candidate's grid must not survive.
    dialog.setResult({50, QStringLiteral("9;9;9;9;9;9;9;9;9;9|1;2"), 0, QStringLiteral("Đạt"), {}}, &student);
    dialog.setResult({23, detail, 0, QStringLiteral("Không đạt"), {}}, &student);

    QStringList shown;
    for (int row = 1; row <= 10; ++row)
        shown << label(dialog, qPrintable(QStringLiteral("lb%1Score").arg(row)));
    QCOMPARE(shown, scores);
    shown = QStringList{label(dialog, "lbScore"), label(dialog, "lbResult"), label(dialog, "lbCertType"),
                        label(dialog, "lbName"), label(dialog, "lbPId"), label(dialog, "lbOrderNumber")};
    QCOMPARE(shown, (QStringList{"23", "Không đạt", "B2", student.fullName(), student.pid(), student.orderNumber()}));
}

void TestDialogs::resultCountsDown()
{
    ContestResultDialog dialog;
    QSignalSpy signout(&dialog, &ContestResultDialog::notifySignout);
    dialog.showResult();
    QVERIFY(dialog.isVisible() && dialog.isModal());
    QCOMPARE(label(dialog, "labelCountDown"), QStringLiteral("Tắt trong 15"));
    for (int left = 14; left >= 1; --left) {
        dialog.onDisapperDialog();
        QCOMPARE(label(dialog, "labelCountDown"), QStringLiteral("Tắt trong %1").arg(left));
    }
    // Escape only hides it: the count-down still ends in one sign-out.
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QVERIFY(!dialog.isVisible() && signout.isEmpty());
    dialog.onDisapperDialog();
    QCOMPARE(signout.count(), 1);
    QVERIFY(!dialog.findChild<QTimer *>(QStringLiteral("closeTimer"))->isActive());
}

void TestDialogs::boxes()
{
    AboutDialog about;
    about.show();
    click(about, "closeButton");
    QVERIFY(!about.isVisible());

    // The wait box animates and cannot be closed by the candidate.
    DialogWaiter waiter;
    const QString loading = QStringLiteral("Đang tải bài thi");
    QLabel *text = waiter.findChild<QLabel *>();
    waiter.showWaiting(loading);
    QVERIFY(waiter.isVisible() && waiter.isModal());
    QCOMPARE(text->text(), loading);
    QVERIFY(!waiter.close());
    QTest::keyClick(&waiter, Qt::Key_Escape);
    QVERIFY(waiter.isVisible());
    QTRY_COMPARE_WITH_TIMEOUT(text->text(), loading + QStringLiteral("."), 5000);
    waiter.showWaiting(QStringLiteral("Xin chờ"));
    QCOMPARE(text->text(), QStringLiteral("Xin chờ"));
    QTRY_COMPARE_WITH_TIMEOUT(text->text(), QStringLiteral("Xin chờ."), 5000);
}

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
