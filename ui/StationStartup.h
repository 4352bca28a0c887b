#pragma once

class BusinessController;
class FileUtility;
class QWidget;

// What must hold before the station takes its first candidate: the
// examination server answers at the address the operator set, and the
// content can make an examination. Each failure is told to the operator in a
// message over the given window.
class StationStartup
{
public:
    // True when the station can serve candidates; false once the operator has
    // closed the failure message.
    static bool check(QWidget *window, const FileUtility &files, const BusinessController &controller);
};
