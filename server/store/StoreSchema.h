#pragma once

class StoreBackend;
class StoreConnection;
class QString;

// The tables of the server's database: the first schema as the first release
// wrote it, and the upgrades from each version to the next. A new database
// is reached through the same upgrades as an old one, so that every new
// database exercises them.
class StoreSchema
{
public:
    // The schema this program writes; older databases are upgraded when
    // opened, newer ones refused.
    static constexpr int version = 3;

    // Creates the tables (from 0) or upgrades them, all or nothing. *done is
    // the version the database had when this run changed it, -1 when
    // another server was quicker. False after reporting through the
    // connection.
    static bool upgrade(StoreConnection &connection, StoreBackend &backend, const QString &shown, int from, int *done);
};
