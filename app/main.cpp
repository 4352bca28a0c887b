#include "Constants.h"
#include "FileUtility.h"
#include "StationLook.h"

#include <QApplication>
#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

// The station's entry point. The candidate flow arrives with the main window;
// until then this shows who the station is and which server it will talk to.
int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("hazard-station"));
    StationLook::install();

    FileUtility files;
    const auto address = files.readServerAddress();

    QWidget window;
    window.setWindowTitle(QString::fromUtf8(Constants::applicationTitle));
    auto *layout = new QVBoxLayout(&window);
    layout->addWidget(new QLabel(QString::fromUtf8(Constants::authorityName).toUpper(), &window));
    layout->addWidget(new QLabel(QString::fromUtf8(Constants::applicationTitle).toUpper(), &window));
    layout->addWidget(new QLabel(address.first + QLatin1Char(':') + address.second, &window));
    window.show();
    return app.exec();
}
