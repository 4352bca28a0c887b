#include "MessageFilter.h"
#include "PracticeContent.h"
#include "PracticeWindow.h"
#include "ProgressStore.h"
#include "StationLook.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QSettings>
#include <QStandardPaths>

#include <cstdlib>

namespace {

const char contentKey[] = "content/folder";

// The remembered folder first, then the installed ones; when none holds a
// sound pack the learner is told why and picks another, once.
bool loadContent(PracticeContent &content)
{
    QSettings settings;
    QString folder = settings.value(QLatin1String(contentKey)).toString();
    if (folder.isEmpty()) {
        for (const QString &candidate : PracticeContent::installedFolders()) {
            if (PracticeContent::looksLikePack(candidate)) {
                folder = candidate;
                break;
            }
        }
    }
    for (;;) {
        if (!folder.isEmpty() && content.load(folder) == PracticeContent::Loaded) {
            settings.setValue(QLatin1String(contentKey), content.folder());
            return true;
        }
        const QString problem = folder.isEmpty()
            ? QObject::tr("Không tìm thấy dữ liệu tình huống (ksm.db và thư mục videos).")
            : content.problemText();
        if (QMessageBox::warning(nullptr, QObject::tr("Dữ liệu tình huống"),
                                 problem + QLatin1Char('\n') + QObject::tr("Chọn một thư mục khác?"),
                                 QMessageBox::Open | QMessageBox::Close) != QMessageBox::Open)
            return false;
        folder = QFileDialog::getExistingDirectory(nullptr, QObject::tr("Chọn thư mục dữ liệu tình huống"), folder);
        if (folder.isEmpty())
            return false;
    }
}

} // namespace

// The learners' practice program: the examination's situations, scoring and
// player on the same content pack, offline.
int main(int argc, char *argv[])
{
    MessageFilter filter;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("hazard-practice"));
    StationLook::install();

    ProgressStore store;
    switch (store.open(ProgressStore::defaultPath())) {
    case ProgressStore::Opened:
        break;
    case ProgressStore::StartedAfterDamage:
        QMessageBox::information(nullptr, QObject::tr("Tiến độ luyện tập"),
                                 QObject::tr("Tệp tiến độ bị hỏng nên đã được cất sang %1; "
                                             "một tệp mới được bắt đầu.")
                                     .arg(store.setAsidePath()));
        break;
    case ProgressStore::Failed:
        QMessageBox::critical(nullptr, QObject::tr("Tiến độ luyện tập"),
                              QObject::tr("Không mở được tệp tiến độ %1: %2").arg(store.path(), store.errorText()));
        return EXIT_FAILURE;
    }

    int code = EXIT_FAILURE;
    {
        PracticeContent content(QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + QStringLiteral("/clips"));
        if (!loadContent(content))
            return EXIT_FAILURE;
        PracticeWindow window(&content, &store);
        window.show();
        code = app.exec();
    }
    return code;
}
