#include "MainWindowLayout.h"

#include "ui_MainWindow.h"

#include "MainForm.h"

#include <QMainWindow>

QPoint MainWindowLayout::centreOf(const QString &objectName, const QSize &windowSize,
                                  const CandidateFlow::Controls &shown)
{
    QMainWindow window;
    Ui::MainWindow form;
    form.setupUi(&window);
    MainForm::applyControls(form, shown);
    window.setAttribute(Qt::WA_DontShowOnScreen);
    window.resize(windowSize);
    window.show();
    const QWidget *widget = window.findChild<QWidget *>(objectName);
    if (!widget)
        return QPoint();
    return widget->mapTo(&window, widget->rect().center());
}
