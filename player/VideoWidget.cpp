#include "VideoWidget.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPalette>

VideoWidget::VideoWidget(QWidget *parent)
    : QVideoWidget(parent)
{
    // The layout decides the size; the video keeps its aspect inside it.
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);

    QPalette blackBackground = palette();
    blackBackground.setColor(QPalette::Window, Qt::black);
    setPalette(blackBackground);

    setAttribute(Qt::WA_OpaquePaintEvent);
}

void VideoWidget::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && isFullScreen()) {
        setFullScreen(false);
        event->accept();
    } else if (event->key() == Qt::Key_Enter && event->modifiers().testFlag(Qt::AltModifier)) {
        setFullScreen(!isFullScreen());
        event->accept();
    } else {
        // Not accepted there, so the key travels on to the main window.
        QVideoWidget::keyPressEvent(event);
    }
}

void VideoWidget::mouseDoubleClickEvent(QMouseEvent *event)
{
    setFullScreen(!isFullScreen());
    event->accept();
}
