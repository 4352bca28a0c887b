#pragma once

#include <QPoint>
#include <QRect>
#include <QString>
#include <QStringList>

// The X display the station runs on, as a user sees it: top-level windows
// by title, the keyboard, the mouse, and the picture on screen. Input goes
// through xdotool (XTEST), so the station receives ordinary key presses and
// clicks.
class ScreenDriver
{
public:
    // False, with the reason, when xdotool is missing or finds no display.
    bool check(QString *why) const;

    // Visible top-level window whose title is exactly `title`; 0 when none.
    quint64 findWindow(const QString &title) const;
    // Polls until the window shows or the time is up; 0 then.
    quint64 waitForWindow(const QString &title, int timeoutMs) const;
    bool waitUntilGone(const QString &title, int timeoutMs) const;
    QRect geometry(quint64 window) const;

    // Gives the window the keyboard (there is no window manager under
    // Xvfb to do it on a click).
    void focus(quint64 window) const;
    void key(const QString &keysym) const;
    void type(const QString &text) const;
    void click(const QPoint &screenPosition) const;

    // The screen, or the part of it in `area`, as a PNG, scaled to `width`
    // pixels across when that is smaller.
    bool screenshot(const QString &path, int width = 0, const QRect &area = QRect()) const;

private:
    QString xdotool(const QStringList &args, bool *ok = nullptr) const;
};
