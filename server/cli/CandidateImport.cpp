#include "CandidateImport.h"

#include "Constants.h"
#include "CsvTable.h"
#include "RecordChecks.h"
#include "ServerStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>

bool CandidateImport::parseLicenceClass(const QString &text, int *code)
{
    const QString t = text.trimmed();
    bool isNumber = false;
    const int n = t.toInt(&isNumber);
    if (isNumber) {
        if (n < 0 || n >= Constants::licenceClassCount)
            return false;
        *code = n;
        return true;
    }
    const int index = Constants::licenceClasses().indexOf(t.toUpper());
    if (index < 0)
        return false;
    *code = index;
    return true;
}

bool CandidateImport::readPhoto(const QString &path, QString *base64, QString *why)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *why = QStringLiteral("cannot read photo %1: %2").arg(path, file.errorString());
        return false;
    }
    // Larger than any answer can carry; checked precisely by the store.
    const QByteArray bytes = file.read(RecordChecks::maxIdentityBytes + 1);
    if (bytes.isEmpty()) {
        *why = QStringLiteral("photo %1 is empty").arg(path);
        return false;
    }
    if (bytes.size() > RecordChecks::maxIdentityBytes * 3 / 4) {
        *why = QStringLiteral("photo %1 is too large: an answer carries about %2 KiB of photo")
                   .arg(path)
                   .arg(RecordChecks::maxIdentityBytes * 3 / 4 / 1024);
        return false;
    }
    *base64 = QString::fromLatin1(bytes.toBase64());
    return true;
}

bool CandidateImport::readFile(const QString &path, QList<CandidateRecord> *candidates, QList<int> *lines,
                               QStringList *errors)
{
    candidates->clear();
    lines->clear();
    errors->clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        errors->append(QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
        return false;
    }
    QByteArray bytes = file.readAll();
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    QList<CsvTable::Row> rows;
    QString why;
    if (!CsvTable::parse(QString::fromUtf8(bytes), &rows, &why)) {
        errors->append(why);
        return false;
    }
    if (rows.isEmpty()) {
        errors->append(QStringLiteral("%1 has no header row").arg(path));
        return false;
    }

    const QStringList known = {QStringLiteral("number"), QStringLiteral("course"), QStringLiteral("class"),
                               QStringLiteral("pid"),    QStringLiteral("name"),   QStringLiteral("photo"),
                               QStringLiteral("state"),  QStringLiteral("id")};
    QHash<QString, int> column;
    const CsvTable::Row header = rows.takeFirst();
    for (int i = 0; i < header.fields.size(); ++i) {
        const QString name = header.fields.at(i).trimmed().toLower();
        if (!known.contains(name)) {
            errors->append(QStringLiteral("line %1: unknown column '%2' (known: %3)")
                               .arg(header.line)
                               .arg(header.fields.at(i), known.join(QStringLiteral(", "))));
            return false;
        }
        if (column.contains(name)) {
            errors->append(QStringLiteral("line %1: column '%2' appears twice").arg(header.line).arg(name));
            return false;
        }
        column.insert(name, i);
    }
    for (const QString &required : known.mid(0, 5)) {
        if (!column.contains(required)) {
            errors->append(QStringLiteral("line %1: the column '%2' is missing").arg(header.line).arg(required));
            return false;
        }
    }

    const QDir base = QFileInfo(path).absoluteDir();
    QSet<QString> seen; // course + number within the file
    QSet<int> seenIds;
    for (const CsvTable::Row &row : rows) {
        auto field = [&](const QString &name) {
            const int i = column.value(name, -1);
            return i >= 0 && i < row.fields.size() ? row.fields.at(i).trimmed() : QString();
        };
        auto bad = [&](const QString &reason) {
            errors->append(QStringLiteral("line %1: %2").arg(row.line).arg(reason));
        };
        if (row.fields.size() != header.fields.size()) {
            bad(QStringLiteral("%1 fields, the header has %2").arg(row.fields.size()).arg(header.fields.size()));
            continue;
        }
        CandidateRecord c;
        c.number = field(QStringLiteral("number"));
        c.courseCode = field(QStringLiteral("course"));
        c.pid = field(QStringLiteral("pid"));
        c.fullName = field(QStringLiteral("name"));
        if (!parseLicenceClass(field(QStringLiteral("class")), &c.licenceClass)) {
            bad(QStringLiteral("licence class '%1' is not one of %2 or 0..9")
                    .arg(field(QStringLiteral("class")), Constants::licenceClasses().join(QLatin1Char(' '))));
            continue;
        }
        const QString state = field(QStringLiteral("state"));
        if (!state.isEmpty() && !CandidateState::fromName(state, &c.state)) {
            bad(QStringLiteral("state '%1' is not one of %2")
                    .arg(state, CandidateState::names().join(QStringLiteral(", "))));
            continue;
        }
        const QString id = field(QStringLiteral("id"));
        if (!id.isEmpty()) {
            bool ok = false;
            c.id = id.toInt(&ok);
            if (!ok || c.id <= 0) {
                bad(QStringLiteral("id '%1' is not a positive number").arg(id));
                continue;
            }
            if (seenIds.contains(c.id)) {
                bad(QStringLiteral("id %1 appears twice in the file").arg(c.id));
                continue;
            }
            seenIds.insert(c.id);
        }
        const QString photo = field(QStringLiteral("photo"));
        if (!photo.isEmpty() && !readPhoto(base.absoluteFilePath(photo), &c.photoBase64, &why)) {
            bad(why);
            continue;
        }
        if (!RecordChecks::checkCandidate(c, &why)) {
            bad(why);
            continue;
        }
        const QString key = c.courseCode + QLatin1Char('\n') + c.number;
        if (seen.contains(key)) {
            bad(QStringLiteral("candidate %1 appears twice for course %2").arg(c.number, c.courseCode));
            continue;
        }
        seen.insert(key);
        candidates->append(c);
        lines->append(row.line);
    }
    return errors->isEmpty();
}

bool CandidateImport::checkAgainst(ServerStore &store, const QList<CandidateRecord> &candidates,
                                   const QList<int> &lines, QStringList *errors, QString *why)
{
    for (int i = 0; i < candidates.size(); ++i) {
        const CandidateRecord &c = candidates.at(i);
        switch (RecordChecks::clashOf(store, c)) {
        case RecordChecks::Clash::Failed:
            *why = store.lastError();
            return false;
        case RecordChecks::Clash::NoCourse:
            errors->append(QStringLiteral("line %1: no course %2").arg(lines.at(i)).arg(c.courseCode));
            break;
        case RecordChecks::Clash::NumberTaken:
            errors->append(QStringLiteral("line %1: candidate %2 is already registered for course %3")
                               .arg(lines.at(i))
                               .arg(c.number, c.courseCode));
            break;
        case RecordChecks::Clash::IdTaken:
            errors->append(QStringLiteral("line %1: id %2 is taken").arg(lines.at(i)).arg(c.id));
            break;
        case RecordChecks::Clash::None:
            break;
        }
    }
    // File order reads best; these checks ran after the file's own.
    const QRegularExpression lineNumber(QStringLiteral("^line (\\d+):"));
    std::stable_sort(errors->begin(), errors->end(), [&](const QString &a, const QString &b) {
        return lineNumber.match(a).captured(1).toInt() < lineNumber.match(b).captured(1).toInt();
    });
    return true;
}
