// Program entry: the application object and one main window.
//
// TESMAR_PORT=<port>            offer this port first in the port list
// TESMAR_SCREENSHOT_DIR=<dir>   render the unlocked window tab by tab into
//                               PNG files there and exit (for review)

#include "app/mainwindow.h"
#include "app/qttranslations.h"
#include "app/screenshottour.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    installQtTranslations(&app);
    MainWindow window;
    window.show();

    const QString shots = qEnvironmentVariable("TESMAR_SCREENSHOT_DIR");
    if (!shots.isEmpty()) {
        auto *tour = new ScreenshotTour(&window, shots, &window);
        QObject::connect(tour, &ScreenshotTour::finished, &app, &QApplication::quit);
        tour->start();
    }
    return app.exec();
}
