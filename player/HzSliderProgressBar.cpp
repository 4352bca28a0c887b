#include "HzSliderProgressBar.h"

#include "Constants.h"
#include "ContestProcedure.h"

#include <QCoreApplication>
#include <QFont>
#include <QMutexLocker>
#include <QPaintEvent>
#include <QPainter>
#include <QPen>

#include <cmath>

namespace {

constexpr int zoneCount = 5;
constexpr int flagSize = 32;

} // namespace

// Outside any namespace: the macro declares the registration function, which
// must keep external linkage. The collection lives in a static library; this
// reference is what pulls it into the program.
static void initResources()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(resources);
        return true;
    }();
    Q_UNUSED(registered)
}

HzSliderProgressBar::HzSliderProgressBar(QWidget *parent)
    : QWidget(parent)
{
    setupForm();
    initResources();
    m_flagPixmap = QPixmap(QString::fromLatin1(Constants::flagPicture));
    m_zoneColors = {QColor(31, 133, 49), QColor(89, 217, 112), QColor(223, 223, 0), QColor(255, 136, 17),
                    QColor(255, 0, 0)};
}

void HzSliderProgressBar::setupForm()
{
    if (objectName().isEmpty())
        setObjectName(QStringLiteral("HzSliderProgressBar"));
    resize(881, 30);
    QFont font;
    font.setFamily(QStringLiteral("Arial"));
    setFont(font);
    setWindowTitle(QCoreApplication::translate("HzSliderProgressBar", "Form"));
}

void HzSliderProgressBar::refreshItems()
{
    m_dangerItems = m_contestProcedure ? m_contestProcedure->dangerItems() : nullptr;
}

// The worker thread rebuilds the items while a contest loads, so they are
// copied out under the procedure's lock and painted from the copy.
QList<DangerItem> HzSliderProgressBar::itemsToPaint() const
{
    QList<DangerItem> items;
    if (!m_contestProcedure || !m_dangerItems)
        return items;
    QMutexLocker locker(m_contestProcedure->itemsMutex());
    for (const DangerItem *item : *m_dangerItems)
        items.append(*item);
    return items;
}

void HzSliderProgressBar::paintEvent(QPaintEvent *event)
{
    const qint64 w = width();
    const int third = height() / 3;

    QPainter painter(this);
    painter.eraseRect(event->rect());
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);

    if (showDangerZones) {
        painter.setPen(QPen(Qt::blue, 1));
        painter.drawRect(0, 0, int(w) - 1, third);
        painter.setPen(Qt::NoPen);
    }
    m_zoneBounds.clear();

    // Without a contest length there is no scale to place anything on.
    const QList<DangerItem> items = m_maximum > 0 ? itemsToPaint() : QList<DangerItem>();

    if (showDangerZones) {
        for (const DangerItem &item : items) {
            int x = int(w * item.windowStart / m_maximum);
            const qint64 windowWidth = w * (qint64(item.windowEnd) - item.windowStart) / m_maximum;
            const int zoneWidth = int(std::floor(windowWidth / 5.0));
            for (int k = 0; k < zoneCount; ++k) {
                painter.fillRect(x, 0, zoneWidth, third, m_zoneColors.at(k));
                m_zoneBounds.append(qMakePair(x, x + zoneWidth));
                x += zoneWidth;
            }
        }
    }

    for (int i = 0; i < items.size(); ++i) {
        const DangerItem &item = items.at(i);
        if (!item.flagged)
            continue;
        qint64 fx = w * item.flagTime / m_maximum;
        // With the look-back a flag can lie after the zone that scored it;
        // it is shown in that zone.
        if (showDangerZones && item.score >= 1 && item.score <= zoneCount) {
            const QPair<int, int> zone = m_zoneBounds.at(zoneCount * i + (zoneCount - item.score));
            fx = qBound<qint64>(zone.first, fx, zone.second);
        }
        painter.drawPixmap(QRect(int(fx), 0, flagSize, flagSize), m_flagPixmap);
    }

    painter.restore();
}
