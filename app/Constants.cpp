#include "Constants.h"

#include "HazardSecrets.h"

#include <QByteArray>

namespace Constants {

QList<int> contestStructure()
{
    return {2, 1, 2, 1, 2, 2};
}

QList<int> passScores()
{
    QList<int> scores;
    for (int i = 0; i < licenceClassCount; ++i)
        scores.append(passMark);
    return scores;
}

QStringList licenceClasses()
{
    return {QStringLiteral("B11"), QStringLiteral("B1"), QStringLiteral("B2"),
            QStringLiteral("C"),   QStringLiteral("D"),  QStringLiteral("E"),
            QStringLiteral("FB2"), QStringLiteral("FC"), QStringLiteral("FD"),
            QStringLiteral("FE")};
}

QString authSecret() { return QString::fromLatin1(HazardSecrets::authSecret); }
QString dbSalt() { return QString::fromLatin1(HazardSecrets::dbSalt); }
QString dbDigest() { return QString::fromLatin1(HazardSecrets::dbDigest); }
QString dbPassword() { return QString::fromLatin1(HazardSecrets::dbPassword); }
QString videoKeyText() { return QString::fromLatin1(HazardSecrets::videoKey); }

QByteArray videoKey()
{
    return QByteArray::fromHex(QByteArray(HazardSecrets::videoKey));
}

} // namespace Constants
