#pragma once

#include <QVideoWidget>

class QKeyEvent;
class QMouseEvent;

// The surface the contest is shown on: black where there is no picture,
// switchable to full screen, and transparent to every other key so that the
// main window receives the flag key whatever has the focus.
class VideoWidget : public QVideoWidget
{
    Q_OBJECT
public:
    explicit VideoWidget(QWidget *parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
};
