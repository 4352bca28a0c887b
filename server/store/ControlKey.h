#pragma once

#include <QString>

// What names the control socket of a server, as its store's backend gives
// it: the name its commands find it by, and whether that name is the path
// of the database file, next to which the socket can then lie.
struct ControlKey
{
    QString name;
    bool databaseFile = false;
};
