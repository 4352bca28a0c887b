#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Comma-separated text as spreadsheets write it: fields may be quoted with
// '"', a quoted field may hold commas, line breaks and doubled quotes.
class CsvTable
{
public:
    struct Row
    {
        int line = 0; // 1-based line where the row starts
        QStringList fields;
    };

    // Blank lines are skipped. False with a reason (and the line) when a
    // quoted field is never closed or a quote sits in the middle of a field.
    static bool parse(const QString &text, QList<Row> *rows, QString *why);
    // One line of fields, quoted where needed, without the line end.
    static QString line(const QStringList &fields);
    // The field as a spreadsheet will keep it as text: one that would start
    // a formula (=, +, -, @, tab, carriage return) gets a leading '.
    static QString formulaSafe(const QString &field);
};
