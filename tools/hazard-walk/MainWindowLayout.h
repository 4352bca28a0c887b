#pragma once

#include "CandidateFlow.h"

#include <QPoint>
#include <QSize>
#include <QString>

// Where the buttons of the station's main window are. The station's own
// form is built here, off screen, at the size of the station's window and
// with the same buttons shown, so the answer follows the form wherever its
// layout takes the buttons.
class MainWindowLayout
{
public:
    // The centre of the widget named `objectName`, relative to the window's
    // top-left corner, with the buttons shown as the candidate flow shows
    // them in a stage. A null point when the form has no such widget.
    static QPoint centreOf(const QString &objectName, const QSize &windowSize, const CandidateFlow::Controls &shown);
};
