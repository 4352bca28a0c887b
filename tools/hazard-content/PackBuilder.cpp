#include "PackBuilder.h"

#include "Constants.h"
#include "MediaProbe.h"
#include "PackManifest.h"
#include "Rc4Cipher.h"
#include "SqlCipherDriver.h"
#include "SqliteConnection.h"
#include "TimeCode.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QVariant>

#include <algorithm>

namespace {

const char connectionName[] = "hazard-content-build";
constexpr qint64 copyChunkSize = 256 * 1024;

QString situationName(int chapter, int th)
{
    return QStringLiteral("chapter%1_%2.mp4").arg(chapter).arg(th, 3, 10, QLatin1Char('0'));
}

bool situationBefore(const ManifestRow *a, const ManifestRow *b)
{
    return std::make_pair(a->chapter, a->th) < std::make_pair(b->chapter, b->th);
}

} // namespace

bool PackBuilder::build(const QString &manifestPath, const QString &outDir)
{
    m_errors.clear();
    m_notes.clear();
    m_situationCount = 0;
    m_probed.clear();

    const QStringList secretProblems = m_secrets.problems(false);
    if (!secretProblems.isEmpty()) {
        m_errors = secretProblems;
        return false;
    }
    if (!MediaProbe::isAvailable()) {
        error(QStringLiteral("ffprobe is not installed (Debian package ffmpeg)"));
        return false;
    }

    PackManifest manifest;
    if (!manifest.read(manifestPath)) {
        m_errors = manifest.errors();
        return false;
    }
    QList<ManifestRow> rows = manifest.rows();
    if (!checkRows(rows) || !checkOrderAndIds(rows) || !checkStructure(rows))
        return false;

    const QString target = QDir::cleanPath(QFileInfo(outDir).absoluteFilePath());
    if (!checkTarget(target))
        return false;

    const QFileInfo targetInfo(target);
    if (!QDir().mkpath(targetInfo.absolutePath())) {
        error(QStringLiteral("%1: cannot create its parent folder").arg(target));
        return false;
    }
    // Beside the target, so that the final rename stays on one file system.
    QTemporaryDir staging(targetInfo.absolutePath() + QStringLiteral("/.")
                          + targetInfo.fileName() + QStringLiteral("-partial-XXXXXX"));
    if (!staging.isValid()) {
        error(QStringLiteral("%1: cannot create a working folder: %2")
                  .arg(targetInfo.absolutePath(), staging.errorString()));
        return false;
    }
    const QString videos = staging.path() + QLatin1Char('/')
                           + QFileInfo(QLatin1String(Constants::videoFolder)).fileName();
    if (!QDir().mkpath(videos)) {
        error(QStringLiteral("%1: cannot create the videos folder").arg(videos));
        return false;
    }
    for (const ManifestRow &row : qAsConst(rows)) {
        if (!encryptVideo(row.sourceFile, videos + QLatin1Char('/') + row.name))
            return false;
    }
    const QString database = staging.path() + QLatin1Char('/') + QLatin1String(Constants::databaseFile);
    if (!writeDatabase(database, rows))
        return false;

    m_secrets.digest = SqliteConnection::saltedDigest(database, m_secrets.salt.toLatin1());
    if (m_secrets.digest.isEmpty()) {
        error(QStringLiteral("%1: cannot read the written database back").arg(database));
        return false;
    }
    if (!moveIntoPlace(staging.path(), target))
        return false;
    staging.setAutoRemove(false);
    return true;
}

QString PackBuilder::rowLabel(const ManifestRow &row) const
{
    return QStringLiteral("manifest line %1 (%2)").arg(row.line).arg(QFileInfo(row.sourceFile).fileName());
}

bool PackBuilder::checkRows(QList<ManifestRow> &rows)
{
    const int before = m_errors.size();
    for (ManifestRow &row : rows) {
        if (row.chapter < 0 || row.chapter > Constants::chapterCount) {
            error(QStringLiteral("%1: chapter %2 is outside 1 to %3 (0 marks the count-down clip)")
                      .arg(rowLabel(row)).arg(row.chapter).arg(Constants::chapterCount));
            continue;
        }
        if (!checkVideo(row))
            continue;
        if (row.isCountDown()) {
            const auto unset = [](const QString &text) {
                return text.isEmpty() || text == QLatin1String("0") || text == QLatin1String("00:00:00");
            };
            if (!unset(row.startText) || !unset(row.endText))
                m_notes << QStringLiteral("%1: the count-down clip has no danger window; the times "
                                          "given are ignored")
                               .arg(rowLabel(row));
            row.name = QStringLiteral("count_down.mp4");
            row.startCode = row.endCode = QStringLiteral("00:00:00");
            continue;
        }
        ++m_situationCount;
        row.name = situationName(row.chapter, row.th);
        checkWindow(row);
    }
    return m_errors.size() == before;
}

bool PackBuilder::checkVideo(ManifestRow &row)
{
    const QFileInfo info(row.sourceFile);
    if (!info.exists()) {
        error(QStringLiteral("%1: file %2 not found").arg(rowLabel(row), row.sourceFile));
        return false;
    }
    if (!info.isFile() || !info.isReadable()) {
        error(QStringLiteral("%1: file %2 cannot be read").arg(rowLabel(row), row.sourceFile));
        return false;
    }
    // A clip listed on several lines is measured once.
    const QString key = info.canonicalFilePath();
    if (!m_probed.contains(key)) {
        Probe probe;
        probe.readable = MediaProbe::probe(row.sourceFile, &probe.duration, &probe.why);
        m_probed.insert(key, probe);
    }
    const Probe probe = m_probed.value(key);
    if (!probe.readable) {
        error(QStringLiteral("%1: not a readable video: %2").arg(rowLabel(row), probe.why));
        return false;
    }
    const qint64 measured = probe.duration;
    if (row.duration < 0) {
        row.duration = measured;
    } else if (qAbs(row.duration - measured) > MediaProbe::durationToleranceMs) {
        error(QStringLiteral("%1: given duration %2 ms does not match the video's %3 ms")
                  .arg(rowLabel(row)).arg(row.duration).arg(measured));
        return false;
    }
    return true;
}

bool PackBuilder::resolveTime(const ManifestRow &row, const QString &text, const QString &label,
                              QString *code, qint64 *milliseconds)
{
    static const QRegularExpression digits(QStringLiteral("^\\d+$"));
    if (digits.match(text).hasMatch()) {
        bool ok = false;
        const qint64 wanted = text.toLongLong(&ok);
        *code = ok ? TimeCode::fromMilliseconds(wanted) : QString();
        if (code->isEmpty()) {
            error(QStringLiteral("%1: %2 %3 ms lies beyond the largest time code (%4 ms)")
                      .arg(rowLabel(row), label, text)
                      .arg(TimeCode::largestMilliseconds()));
            return false;
        }
        *milliseconds = TimeCode::toMilliseconds(*code);
        if (*milliseconds != wanted)
            m_notes << QStringLiteral("%1: %2 %3 ms stored as %4, which the station reads as %5 ms")
                           .arg(rowLabel(row), label)
                           .arg(wanted)
                           .arg(*code)
                           .arg(*milliseconds);
        return true;
    }
    if (!TimeCode::isValid(text)) {
        error(QStringLiteral("%1: bad time code \"%2\" for the %3 (milliseconds or mm:ss:ff with "
                             "ff in sixtieths of a second)")
                  .arg(rowLabel(row), text, label));
        return false;
    }
    *code = text;
    *milliseconds = TimeCode::toMilliseconds(text);
    return true;
}

bool PackBuilder::checkWindow(ManifestRow &row)
{
    qint64 start = 0;
    qint64 end = 0;
    const bool startOk = resolveTime(row, row.startText, QStringLiteral("danger start"),
                                     &row.startCode, &start);
    const bool endOk = resolveTime(row, row.endText, QStringLiteral("danger end"),
                                   &row.endCode, &end);
    if (!startOk || !endOk)
        return false;
    if (start >= end) {
        error(QStringLiteral("%1: the danger window %2-%3 ms does not start before it ends")
                  .arg(rowLabel(row)).arg(start).arg(end));
        return false;
    }
    if (end > row.duration) {
        error(QStringLiteral("%1: the danger window %2-%3 ms lies outside the video (%4 ms long)")
                  .arg(rowLabel(row)).arg(start).arg(end).arg(row.duration));
        return false;
    }
    return true;
}

bool PackBuilder::checkOrderAndIds(QList<ManifestRow> &rows)
{
    const int before = m_errors.size();
    QHash<QPair<int, int>, int> positions;
    QHash<int, int> ids;
    QList<ManifestRow *> countDowns;
    for (ManifestRow &row : rows) {
        if (row.isCountDown()) {
            countDowns << &row;
        } else {
            const QPair<int, int> position(row.chapter, row.th);
            if (positions.contains(position))
                error(QStringLiteral("%1: chapter %2 th %3 is already taken by manifest line %4")
                          .arg(rowLabel(row)).arg(row.chapter).arg(row.th).arg(positions.value(position)));
            else
                positions.insert(position, row.line);
        }
        if (row.id > 0) {
            if (ids.contains(row.id))
                error(QStringLiteral("%1: duplicate id %2, already used by manifest line %3")
                          .arg(rowLabel(row)).arg(row.id).arg(ids.value(row.id)));
            else
                ids.insert(row.id, row.line);
        }
    }
    if (countDowns.isEmpty())
        error(QStringLiteral("the manifest has no count-down clip (a line with chapter 0)"));
    for (int i = 1; i < countDowns.size(); ++i)
        error(QStringLiteral("%1: a second count-down clip; the first is on manifest line %2")
                  .arg(rowLabel(*countDowns.at(i))).arg(countDowns.first()->line));
    if (m_errors.size() != before)
        return false;

    // Ids not given are numbered in contest order, the count-down clip last.
    QList<ManifestRow *> ordered;
    for (ManifestRow &row : rows) {
        if (!row.isCountDown())
            ordered << &row;
    }
    std::sort(ordered.begin(), ordered.end(), situationBefore);
    ordered << countDowns;
    int next = 1;
    for (ManifestRow *row : qAsConst(ordered)) {
        if (row->id > 0)
            continue;
        while (ids.contains(next))
            ++next;
        row->id = next;
        ids.insert(next, row->line);
    }
    return true;
}

bool PackBuilder::checkStructure(const QList<ManifestRow> &rows)
{
    const QList<int> structure = Constants::contestStructure();
    QList<int> counts;
    for (int i = 0; i < structure.size(); ++i)
        counts << 0;
    for (const ManifestRow &row : rows) {
        if (!row.isCountDown())
            ++counts[row.chapter - 1];
    }
    bool ok = true;
    for (int i = 0; i < structure.size(); ++i) {
        if (counts.at(i) < structure.at(i)) {
            error(QStringLiteral("chapter %1 has %2 situation(s); an examination draws %3 from it")
                      .arg(i + 1).arg(counts.at(i)).arg(structure.at(i)));
            ok = false;
        }
    }
    return ok;
}

bool PackBuilder::checkTarget(const QString &outDir)
{
    const QFileInfo info(outDir);
    if (!info.exists())
        return true;
    if (!info.isDir()) {
        error(QStringLiteral("%1 exists and is not a folder").arg(outDir));
        return false;
    }
    const QDir dir(outDir);
    if (dir.isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden))
        return true;
    if (!m_replaceExisting) {
        error(QStringLiteral("%1 is not empty; pass --replace to replace the pack in it").arg(outDir));
        return false;
    }
    // Only ever replace what this tool made, never an arbitrary folder.
    if (!dir.exists(QLatin1String(Constants::databaseFile))) {
        error(QStringLiteral("%1 holds no %2, so it is not a content pack; not replaced")
                  .arg(outDir, QLatin1String(Constants::databaseFile)));
        return false;
    }
    return true;
}

bool PackBuilder::encryptVideo(const QString &source, const QString &target)
{
    QFile input(source);
    if (!input.open(QIODevice::ReadOnly)) {
        error(QStringLiteral("%1: cannot be read: %2").arg(source, input.errorString()));
        return false;
    }
    QFile output(target);
    if (!output.open(QIODevice::WriteOnly)) {
        error(QStringLiteral("%1: cannot be written: %2").arg(target, output.errorString()));
        return false;
    }
    // The key stream restarts with every call, so the enciphered prefix goes
    // through the cipher in one piece.
    QByteArray prefix = input.read(Constants::encryptedPrefixSize);
    Rc4Cipher cipher(QByteArray::fromHex(m_secrets.videoKey.toLatin1()));
    cipher.encrypt(prefix.constData(), prefix.data(), prefix.size());
    bool ok = output.write(prefix) == prefix.size();
    QByteArray chunk;
    while (ok && !input.atEnd()) {
        chunk = input.read(copyChunkSize);
        ok = !chunk.isEmpty() && output.write(chunk) == chunk.size();
    }
    ok = ok && input.error() == QFileDevice::NoError && output.flush();
    output.close();
    if (!ok || output.error() != QFileDevice::NoError) {
        error(QStringLiteral("%1: copying into the pack failed").arg(source));
        return false;
    }
    return true;
}

bool PackBuilder::writeDatabase(const QString &path, const QList<ManifestRow> &rows)
{
    SqlCipherDriver::registerDriver();
    QString failure;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QLatin1String(SqlCipherDriver::driverName),
                                                    QLatin1String(connectionName));
        db.setDatabaseName(path);
        db.setPassword(m_secrets.password);
        if (!db.open()) {
            failure = db.lastError().text();
        } else {
            // The station reads situations by column position (id, name,
            // chapter, number, duration, danger start, danger end) and sorts
            // by `th`; keep this order.
            QSqlQuery query(db);
            const bool ok = db.transaction()
                && query.exec(QStringLiteral(
                    "CREATE TABLE video (id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE, "
                    "chapter INTEGER NOT NULL, number INTEGER NOT NULL, duration INTEGER NOT NULL, "
                    "danger_start TEXT NOT NULL, danger_end TEXT NOT NULL, th INTEGER NOT NULL)"))
                && query.prepare(QStringLiteral(
                    "INSERT INTO video (id, name, chapter, number, duration, danger_start, "
                    "danger_end, th) VALUES (:id, :name, :chapter, :number, :duration, :start, "
                    ":end, :th)"));
            bool inserted = ok;
            for (const ManifestRow &row : rows) {
                if (!inserted)
                    break;
                query.bindValue(QStringLiteral(":id"), row.id);
                query.bindValue(QStringLiteral(":name"), row.name);
                query.bindValue(QStringLiteral(":chapter"), row.chapter);
                query.bindValue(QStringLiteral(":number"), row.th);
                query.bindValue(QStringLiteral(":duration"), row.duration);
                query.bindValue(QStringLiteral(":start"), row.startCode);
                query.bindValue(QStringLiteral(":end"), row.endCode);
                query.bindValue(QStringLiteral(":th"), row.th);
                inserted = query.exec();
            }
            if (!inserted || !db.commit())
                failure = query.lastError().isValid() ? query.lastError().text()
                                                      : db.lastError().text();
            query.finish();
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(QLatin1String(connectionName));
    if (!failure.isEmpty()) {
        error(QStringLiteral("%1: writing the database failed: %2").arg(path, failure));
        return false;
    }
    return true;
}

bool PackBuilder::moveIntoPlace(const QString &staging, const QString &outDir)
{
    QDir root;
    QString previous;
    if (QFileInfo::exists(outDir)) {
        previous = staging + QStringLiteral("-previous");
        if (!root.rename(outDir, previous)) {
            error(QStringLiteral("%1: cannot move the old pack aside").arg(outDir));
            return false;
        }
    }
    if (!root.rename(staging, outDir)) {
        if (!previous.isEmpty())
            root.rename(previous, outDir);
        error(QStringLiteral("%1: cannot move the new pack into place").arg(outDir));
        return false;
    }
    // The working folder was private to this user; a pack is meant to be read.
    QFile::setPermissions(outDir, QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                      | QFileDevice::ExeOwner | QFileDevice::ReadGroup
                                      | QFileDevice::ExeGroup | QFileDevice::ReadOther
                                      | QFileDevice::ExeOther);
    if (!previous.isEmpty() && !QDir(previous).removeRecursively())
        m_notes << QStringLiteral("%1: the old pack could not be removed completely").arg(previous);
    return true;
}
