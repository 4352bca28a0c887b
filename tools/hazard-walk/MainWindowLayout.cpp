#include "MainWindowLayout.h"

#include "ui_MainWindow.h"

#include <QMainWindow>
#include <QPushButton>

QPoint MainWindowLayout::centreOf(const QString &objectName, const QSize &windowSize, const QStringList &shownButtons)
{
    QMainWindow window;
    Ui::MainWindow form;
    form.setupUi(&window);
    for (QPushButton *button : {form.startBtn, form.playBtn, form.pauseBtn, form.exitBtn})
        button->setVisible(shownButtons.contains(button->objectName()));
    window.setAttribute(Qt::WA_DontShowOnScreen);
    window.resize(windowSize);
    window.show();
    const QWidget *widget = window.findChild<QWidget *>(objectName);
    if (!widget)
        return QPoint();
    return widget->mapTo(&window, widget->rect().center());
}
