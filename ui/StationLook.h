#pragma once

#include <QString>

// What every window of the station relies on before the first one is built:
// the embedded artwork, and fonts that can show Vietnamese for the families
// the forms name ("Tahoma", "Arial"), which a Linux machine rarely has.
class StationLook
{
public:
    // Call once, after the application object exists.
    static void install();
    // The installed family that stands in for a missing form font; empty when
    // no installed family covers Vietnamese.
    static QString fallbackFamily();
};
