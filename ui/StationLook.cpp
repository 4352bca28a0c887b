#include "StationLook.h"

#include <QFont>
#include <QFontDatabase>
#include <QStringList>

void StationLook::install()
{
    Q_INIT_RESOURCE(resources);

    const QString fallback = fallbackFamily();
    if (fallback.isEmpty())
        return;
    const QFontDatabase fonts;
    for (const QString &family : {QStringLiteral("Tahoma"), QStringLiteral("Arial")}) {
        if (!fonts.hasFamily(family))
            QFont::insertSubstitution(family, fallback);
    }
}

QString StationLook::fallbackFamily()
{
    const QStringList vietnamese = QFontDatabase().families(QFontDatabase::Vietnamese);
    const QString preferred = QStringLiteral("DejaVu Sans");
    if (vietnamese.contains(preferred))
        return preferred;
    return vietnamese.value(0);
}
