#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Fixed values every unit of the station shares. Texts are UTF-8 literals and
// are turned into QString where they are used, so nothing of class type is
// constructed before main.
namespace Constants {

// Paths, relative to the working directory.
constexpr char serverAddressFile[] = "./config/connection_tcp.csv";
constexpr char videoFolder[] = "./videos";
constexpr char scratchFolder[] = "./translations/qm/a/n/2";
constexpr char databaseFile[] = "ksm.db";
constexpr char flagPicture[] = ":/images/resources/images/flag.png";
constexpr char defaultCandidatePicture[] = ":/images/resources/images/administrator.png";

// Server address defaults and the line written into a missing address file.
constexpr char defaultHost[] = "127.0.0.1";
constexpr char defaultPort[] = "6886";
constexpr char defaultServerLine[] = "SERVER:127.0.0.1:6886";

// Display names.
constexpr char applicationTitle[] = "Phần mềm mô phỏng sát hạch tình huống giao thông";
constexpr char authorityName[] = "Cục Đường bộ Việt Nam";

// Texts shown by the main window.
constexpr char textLoadingContest[] = "Đang tải bài thi";
constexpr char textWrongCandidateNumber[] = "Số báo danh không đúng";
constexpr char textErrorTryAgain[] = "Có lỗi xin vui lòng thử lại";
constexpr char textCandidateInExam[] = "Thí sinh đang thi";
constexpr char textTheoryNotPassed[] = "Thí sinh chưa thi đỗ sát hạch lý thuyết";
constexpr char textNotRequired[] = "Thí sinh không phải thi mô phỏng";
constexpr char textNoReview[] = "Thí sinh không hỗ trợ xem lại";
// An examination with a situation whose video did not play: %1 lists them.
constexpr char textSituationNotPlayed[] = "Không phát được video tình huống %1. Bài thi không được chấm và không gửi "
                                          "về máy chủ, thí sinh được thi lại";
constexpr char textVideoFault[] = "Lỗi video tình huống %1";
constexpr char textVideoFaultScore[] = "Lỗi";
constexpr char textPassed[] = "Đạt";
constexpr char textFailed[] = "Không đạt";

// The examination's fixed numbers.
constexpr int chapterCount = 6;
constexpr int passMark = 35;
constexpr int licenceClassCount = 10;
constexpr int lookBack = 300;
constexpr int lookBackExtra = 200;
constexpr qint64 encryptedPrefixSize = 1048576;

// Situations drawn from chapters 1 to 6 in an examination.
QList<int> contestStructure();
// Pass threshold per licence class code 0 to 9.
QList<int> passScores();
// Licence class names in code order 0 to 9.
QStringList licenceClasses();

// Built-in secrets, as configured at build time.
QString authSecret();
QString dbSalt();
QString dbDigest();
QString dbPassword();
QString videoKeyText();
// The video key decoded from hexadecimal: 16 bytes.
QByteArray videoKey();

} // namespace Constants
