#include "MainWindowLayout.h"

#include "ui_MainWindow.h"

#include <QMainWindow>
#include <QPushButton>

QPoint MainWindowLayout::centreOf(const QString &objectName, const QSize &windowSize,
                                  const CandidateFlow::Controls &shown)
{
    QMainWindow window;
    Ui::MainWindow form;
    form.setupUi(&window);
    form.startBtn->setVisible(shown.startShown);
    form.playBtn->setVisible(shown.playShown);
    form.pauseBtn->setVisible(shown.pauseShown);
    form.exitBtn->setVisible(shown.exitShown);
    form.labelGuildLine->setVisible(shown.guideShown);
    window.setAttribute(Qt::WA_DontShowOnScreen);
    window.resize(windowSize);
    window.show();
    const QWidget *widget = window.findChild<QWidget *>(objectName);
    if (!widget)
        return QPoint();
    return widget->mapTo(&window, widget->rect().center());
}
