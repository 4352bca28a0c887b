#include "ServerSettings.h"

#include <QFile>
#include <QStringList>

QString ServerSettings::location()
{
    if (qEnvironmentVariableIsSet("HAZARD_SERVER_SETTINGS"))
        return qEnvironmentVariable("HAZARD_SERVER_SETTINGS");
    return QStringLiteral(HAZARD_SERVER_SETTINGS_FILE);
}

bool ServerSettings::load(const QString &path, QString *why)
{
    m_path.clear();
    m_values.clear();
    if (path.isEmpty() || !QFile::exists(path))
        return true;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *why = QStringLiteral("cannot read the settings file %1: %2").arg(path, file.errorString());
        return false;
    }
    static const QStringList keys = {QStringLiteral("DB"), QStringLiteral("LISTEN"), QStringLiteral("CENTRE"),
                                     QStringLiteral("CONTROL_DIR")};
    QHash<QString, QString> values;
    int number = 0;
    while (!file.atEnd()) {
        ++number;
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const int equals = line.indexOf(QLatin1Char('='));
        const QString key = line.left(equals).trimmed();
        if (equals < 0 || !keys.contains(key)) {
            *why = QStringLiteral("%1 line %2: expected one of %3 as KEY=VALUE")
                       .arg(path)
                       .arg(number)
                       .arg(keys.join(QStringLiteral(", ")));
            return false;
        }
        QString value = line.mid(equals + 1).trimmed();
        if (value.size() >= 2 && value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"')))
            value = value.mid(1, value.size() - 2);
        values.insert(key, value);
    }
    m_path = path;
    m_values = values;
    return true;
}
