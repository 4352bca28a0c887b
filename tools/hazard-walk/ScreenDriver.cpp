#include "ScreenDriver.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QThread>

namespace {

// xdotool matches titles as POSIX extended expressions; only ASCII
// punctuation needs a backslash, letters of any script stand for themselves.
QString exactTitlePattern(const QString &title)
{
    QString pattern = QStringLiteral("^");
    for (const QChar c : title) {
        if (c.unicode() < 128 && QStringLiteral("\\^$.|?*+()[]{}").contains(c))
            pattern += QLatin1Char('\\');
        pattern += c;
    }
    return pattern + QLatin1Char('$');
}

const int pollMs = 100;

} // namespace

QString ScreenDriver::xdotool(const QStringList &args, bool *ok) const
{
    QProcess process;
    process.start(QStringLiteral("xdotool"), args);
    const bool finished = process.waitForFinished(10000);
    if (ok)
        *ok = finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (!finished)
        process.kill();
    return QString::fromUtf8(process.readAllStandardOutput());
}

bool ScreenDriver::check(QString *why) const
{
    bool ok = false;
    const QString out = xdotool({QStringLiteral("getmouselocation")}, &ok);
    if (!ok) {
        *why = QStringLiteral("xdotool does not reach the display (is it installed, is DISPLAY set?)");
        return false;
    }
    if (!QGuiApplication::primaryScreen()) {
        *why = QStringLiteral("no screen to take pictures of");
        return false;
    }
    return true;
}

quint64 ScreenDriver::findWindow(const QString &title) const
{
    bool ok = false;
    const QString out = xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
                                 exactTitlePattern(title)},
                                &ok);
    // A miss is exit status 1 with no output.
    const QStringList ids = out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return ok && !ids.isEmpty() ? ids.last().trimmed().toULongLong() : 0;
}

quint64 ScreenDriver::waitForWindow(const QString &title, int timeoutMs) const
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        if (const quint64 window = findWindow(title))
            return window;
        if (clock.elapsed() > timeoutMs)
            return 0;
        QThread::msleep(pollMs);
    }
}

bool ScreenDriver::waitUntilGone(const QString &title, int timeoutMs) const
{
    QElapsedTimer clock;
    clock.start();
    while (findWindow(title)) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QThread::msleep(pollMs);
    }
    return true;
}

QRect ScreenDriver::geometry(quint64 window) const
{
    const QString out = xdotool({QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"),
                                 QString::number(window)});
    QRect r;
    for (const QString &line : out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QString name = line.section(QLatin1Char('='), 0, 0);
        const int value = line.section(QLatin1Char('='), 1).toInt();
        if (name == QLatin1String("X"))
            r.moveLeft(value);
        else if (name == QLatin1String("Y"))
            r.moveTop(value);
        else if (name == QLatin1String("WIDTH"))
            r.setWidth(value);
        else if (name == QLatin1String("HEIGHT"))
            r.setHeight(value);
    }
    return r;
}

void ScreenDriver::focus(quint64 window) const
{
    const QRect r = geometry(window);
    // Keys go where the pointer is when no window holds the focus.
    xdotool({QStringLiteral("mousemove"), QString::number(r.center().x()), QString::number(r.center().y())});
    xdotool({QStringLiteral("windowfocus"), QString::number(window)});
}

void ScreenDriver::key(const QString &keysym) const
{
    xdotool({QStringLiteral("key"), keysym});
}

void ScreenDriver::type(const QString &text) const
{
    xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("60"), text});
}

void ScreenDriver::click(const QPoint &screenPosition) const
{
    xdotool({QStringLiteral("mousemove"), QStringLiteral("--sync"), QString::number(screenPosition.x()),
             QString::number(screenPosition.y()), QStringLiteral("click"), QStringLiteral("1")});
}

bool ScreenDriver::screenshot(const QString &path, int width, const QRect &area) const
{
    QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return false;
    // The root window: the video is an overlay that a grab of the station's
    // own window would show black.
    QImage image = area.isValid()
        ? screen->grabWindow(0, area.x(), area.y(), area.width(), area.height()).toImage()
        : screen->grabWindow(0).toImage();
    if (image.isNull())
        return false;
    if (width > 0 && image.width() > width)
        image = image.scaledToWidth(width, Qt::SmoothTransformation);
    return image.save(path, "PNG");
}
