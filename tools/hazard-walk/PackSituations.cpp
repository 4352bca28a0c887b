#include "PackSituations.h"

#include "Composer.h"
#include "ContestProcedure.h"
#include "ContestResultRecord.h"
#include "DangerItem.h"
#include "Exercise.h"
#include "Library.h"
#include "SqliteConnection.h"
#include "Chapter.h"

#include <QDir>
#include <QFileInfo>

PackSituations::PackSituations(QObject *parent)
    : QObject(parent)
    , m_database(new SqliteConnection(this))
    , m_library(new Library(this))
    , m_composer(new Composer(this))
{
    m_composer->setLibrary(m_library);
}

PackSituations::~PackSituations() = default;

bool PackSituations::load(const QString &folder, QString *why)
{
    const QString database = QDir(folder).filePath(QStringLiteral("ksm.db"));
    if (!QFileInfo(database).isFile()) {
        *why = QStringLiteral("no content database %1").arg(database);
        return false;
    }
    m_database->setDatabasePath(database);
    if (!m_database->openDatabase() || !m_database->loadChapterExercises(m_library)
        || !m_database->loadCountDownExercise(m_composer)) {
        *why = QStringLiteral("%1 does not open with the secrets this build was made with").arg(database);
        return false;
    }
    for (Chapter *chapter : m_library->chapters()) {
        for (Exercise *e : chapter->exercises())
            m_byFile.insert(QFileInfo(e->filePath()).fileName(), e);
    }
    return true;
}

const Exercise *PackSituations::situationByFile(const QString &fileName) const
{
    return m_byFile.value(fileName);
}

QString PackSituations::sampleResult() const
{
    m_composer->compose(Examination, 0, 0);
    const QList<Exercise *> playlist = m_composer->exercises();
    ContestProcedure scoring;
    scoring.setDangerItems(playlist);
    const QList<DangerItem> items = scoring.dangerItemsSnapshot();
    if (items.size() != m_composer->situationCount() || items.isEmpty())
        return QString();
    // Where each press falls, as a share of the danger window: mostly early,
    // some late, one before the hazard shows (a miss).
    const double shares[] = {0.08, 0.3, 0.12, 0.5, 0.05, -0.25, 0.35, 0.15, 0.7, 0.22};
    for (int i = 0; i < items.size(); ++i) {
        const DangerItem &item = items.at(i);
        const double share = shares[i % (sizeof shares / sizeof *shares)];
        scoring.addFlag(item.windowStart + qint64(share * (item.windowEnd - item.windowStart)));
    }
    return scoring.collectResult().detail + QLatin1Char('|') + m_composer->videoIdText();
}

QList<const Exercise *> PackSituations::chapter(int index) const
{
    QList<const Exercise *> situations;
    const QList<Chapter *> chapters = m_library->chapters();
    if (index >= 0 && index < chapters.size()) {
        for (const Exercise *e : chapters.at(index)->exercises())
            situations << e;
    }
    return situations;
}
