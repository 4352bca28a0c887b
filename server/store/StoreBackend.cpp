#include "StoreBackend.h"

#include "PostgresBackend.h"
#include "SqliteBackend.h"

#include <QUrl>

std::unique_ptr<StoreBackend> StoreBackend::forLocation(const QString &location)
{
    if (isPostgresLocation(location))
        return std::make_unique<PostgresBackend>();
    return std::make_unique<SqliteBackend>();
}

bool StoreBackend::isPostgresLocation(const QString &location)
{
    return location.startsWith(QLatin1String("postgresql://")) || location.startsWith(QLatin1String("postgres://"));
}

QString StoreBackend::shownLocation(const QString &location)
{
    return isPostgresLocation(location) ? QUrl(location, QUrl::StrictMode).toString(QUrl::RemovePassword) : location;
}
