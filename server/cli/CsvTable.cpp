#include "CsvTable.h"

bool CsvTable::parse(const QString &text, QList<Row> *rows, QString *why)
{
    rows->clear();
    Row row;
    QString field;
    bool quoted = false;     // inside a quoted field
    bool wasQuoted = false;  // the current field was quoted and has closed
    bool rowHasData = false; // anything at all on the current row
    int line = 1;
    row.line = 1;

    auto endField = [&] {
        row.fields.append(field);
        field.clear();
        wasQuoted = false;
    };
    auto endRow = [&] {
        endField();
        if (rowHasData)
            rows->append(row);
        row = Row();
        rowHasData = false;
    };

    const int n = text.size();
    for (int i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c == QLatin1Char('"')) {
                if (i + 1 < n && text.at(i + 1) == QLatin1Char('"')) {
                    field.append(c);
                    ++i;
                } else {
                    quoted = false;
                    wasQuoted = true;
                }
            } else {
                if (c == QLatin1Char('\n'))
                    ++line;
                field.append(c);
            }
            continue;
        }
        if (c == QLatin1Char(',')) {
            endField();
            rowHasData = true;
        } else if (c == QLatin1Char('\r')) {
            // Line ends are "\n" or "\r\n"; a lone "\r" is dropped.
        } else if (c == QLatin1Char('\n')) {
            endRow();
            ++line;
            row.line = line;
        } else if (c == QLatin1Char('"')) {
            if (!field.isEmpty() || wasQuoted) {
                *why = QStringLiteral("line %1: stray '\"' inside a field").arg(line);
                return false;
            }
            quoted = true;
            rowHasData = true;
        } else {
            if (wasQuoted) {
                *why = QStringLiteral("line %1: text after a closing '\"'").arg(line);
                return false;
            }
            field.append(c);
            if (!c.isSpace())
                rowHasData = true;
        }
    }
    if (quoted) {
        *why = QStringLiteral("line %1: a quoted field is never closed").arg(row.line);
        return false;
    }
    endRow();
    return true;
}

QString CsvTable::line(const QStringList &fields)
{
    QStringList out;
    out.reserve(fields.size());
    for (const QString &f : fields) {
        if (f.contains(QLatin1Char(',')) || f.contains(QLatin1Char('"')) || f.contains(QLatin1Char('\n'))
            || f.contains(QLatin1Char('\r'))) {
            QString q = f;
            q.replace(QLatin1String("\""), QLatin1String("\"\""));
            out.append(QLatin1Char('"') + q + QLatin1Char('"'));
        } else {
            out.append(f);
        }
    }
    return out.join(QLatin1Char(','));
}

QString CsvTable::formulaSafe(const QString &field)
{
    static const QString starters = QStringLiteral("=+-@\t\r");
    if (!field.isEmpty() && starters.contains(field.at(0)))
        return QLatin1Char('\'') + field;
    return field;
}
