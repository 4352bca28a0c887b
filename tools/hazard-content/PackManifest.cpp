#include "PackManifest.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

namespace {

bool readInt(const QString &text, int *value)
{
    bool ok = false;
    *value = text.toInt(&ok);
    return ok;
}

} // namespace

bool PackManifest::read(const QString &path)
{
    m_rows.clear();
    m_errors.clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        m_errors << QStringLiteral("%1: cannot read the manifest: %2").arg(path, file.errorString());
        return false;
    }
    const QString folder = QFileInfo(path).absolutePath();
    QTextStream in(&file);
    in.setCodec("UTF-8");
    int lineNumber = 0;
    bool firstContentLine = true;
    while (!in.atEnd()) {
        const QString text = in.readLine().trimmed();
        ++lineNumber;
        if (text.isEmpty() || text.startsWith(QLatin1Char('#')))
            continue;
        if (firstContentLine) {
            firstContentLine = false;
            if (text.section(QLatin1Char(','), 0, 0).trimmed().compare(QLatin1String("file"),
                                                                     Qt::CaseInsensitive) == 0)
                continue;
        }
        parseLine(lineNumber, text, folder);
    }
    if (m_rows.isEmpty() && m_errors.isEmpty())
        m_errors << QStringLiteral("%1: the manifest lists no videos").arg(path);
    return m_errors.isEmpty();
}

void PackManifest::parseLine(int lineNumber, const QString &text, const QString &folder)
{
    QStringList fields = text.split(QLatin1Char(','));
    for (QString &field : fields)
        field = field.trimmed();
    if (fields.size() < 2 || fields.size() > 7) {
        error(lineNumber, QStringLiteral("expected 5 to 7 comma-separated fields, found %1")
                              .arg(fields.size()));
        return;
    }
    while (fields.size() < 7)
        fields << QString();

    ManifestRow row;
    row.line = lineNumber;
    if (fields.at(0).isEmpty()) {
        error(lineNumber, QStringLiteral("no file named"));
        return;
    }
    row.sourceFile = QDir(folder).absoluteFilePath(fields.at(0));
    if (!readInt(fields.at(1), &row.chapter)) {
        error(lineNumber, QStringLiteral("chapter \"%1\" is not a number").arg(fields.at(1)));
        return;
    }
    if (!row.isCountDown()) {
        if (fields.at(2).isEmpty() || fields.at(3).isEmpty() || fields.at(4).isEmpty()) {
            error(lineNumber, QStringLiteral("a situation needs th, danger start and danger end"));
            return;
        }
    }
    if (!fields.at(2).isEmpty() && (!readInt(fields.at(2), &row.th) || row.th < 0)) {
        error(lineNumber, QStringLiteral("th \"%1\" is not a number of 0 or more").arg(fields.at(2)));
        return;
    }
    row.startText = fields.at(3);
    row.endText = fields.at(4);
    if (!fields.at(5).isEmpty() && (!readInt(fields.at(5), &row.id) || row.id <= 0)) {
        error(lineNumber, QStringLiteral("id \"%1\" is not a positive number").arg(fields.at(5)));
        return;
    }
    if (!fields.at(6).isEmpty()) {
        bool ok = false;
        row.duration = fields.at(6).toLongLong(&ok);
        if (!ok || row.duration <= 0) {
            error(lineNumber, QStringLiteral("duration \"%1\" is not a positive number of milliseconds")
                                  .arg(fields.at(6)));
            return;
        }
    }
    m_rows << row;
}

void PackManifest::error(int lineNumber, const QString &text)
{
    m_errors << QStringLiteral("manifest line %1: %2").arg(lineNumber).arg(text);
}
