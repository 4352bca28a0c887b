#pragma once

#include "SheetPage.h"

#include <QList>
#include <QString>

class ServerStore;

// What the result sheets of a course hold: a page per candidate with a stored
// result, in number order, each with the candidate's latest result and the
// number of their attempts; the centre is the one stored with the result.
class SheetPages
{
public:
    // Every candidate of the course, or only `number` unless it is null (an
    // empty number is looked up, and found missing).
    // False with the reason when the course or candidate is unknown, the
    // store fails, or no page would be printed.
    static bool collect(ServerStore &store, const QString &course, const QString &number, QList<SheetPage> *pages,
                        QString *why);
};
