#include "HazardVersion.h"
#include "MainWindow.h"
#include "MessageFilter.h"
#include "RetryMessageBox.h"
#include "StationLook.h"
#include "TcpClient.h"

#include <QApplication>

#include <cstdlib>

// The examination station. It has no command line and no configuration but
// the server address file; it ends through the "Thoát" menu entry, or at
// once when it cannot serve candidates.
int main(int argc, char *argv[])
{
    // Before anything that may load the multimedia back end.
    MessageFilter filter;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("hazard-station"));
    QApplication::setApplicationVersion(QStringLiteral(HAZARD_VERSION));
    StationLook::install();

    int code = EXIT_FAILURE;
    {
        // Gone before the application object: its destructor ends the link
        // and the session controller.
        MainWindow window;
        RetryMessageBox retryBox(&window);
        TcpClient::instance().setRetryQuestion(&retryBox);
        if (window.runStartupChecks())
            code = app.exec();
        TcpClient::instance().setRetryQuestion(nullptr);
    }
    return code;
}
