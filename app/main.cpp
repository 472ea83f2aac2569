// Program entry: the application object and one main window.
//
// tesmar [--profile NAME] [--port PATH]   (tesmar --help lists the options)
// TESMAR_PORT=<port>            offer this port first in the port list
// TESMAR_SCREENSHOT_DIR=<dir>   render the unlocked window tab by tab into
//                               PNG files there and exit (for review)

#include "app/mainwindow.h"
#include "app/qttranslations.h"
#include "app/screenshottour.h"
#include "app/startup.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication::setApplicationName(QStringLiteral("tesmar"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TESMAR_VERSION));

    // Answered before any display is opened, so that they work on a console.
    if (asksForHelpOrVersion(argc, argv)) {
        QCoreApplication console(argc, argv);
        readCommandLine(console);
    }

    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral("tesmar"));
    installQtTranslations(&app);
    const StartOptions options = readCommandLine(app);
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "tesmar: %s\n", qPrintable(options.error));
        return 2;
    }
    QString error;
    const std::unique_ptr<MainWindow> window = startTesmar(options, &error);
    if (!window) {
        std::fprintf(stderr, "tesmar: %s\n", qPrintable(error));
        QMessageBox::critical(nullptr, QStringLiteral("Ошибка"), error);
        return 1;
    }
    window->show();

    const QString shots = qEnvironmentVariable("TESMAR_SCREENSHOT_DIR");
    if (!shots.isEmpty()) {
        auto *tour = new ScreenshotTour(window.get(), shots, window.get());
        QObject::connect(tour, &ScreenshotTour::finished, &app, &QApplication::quit);
        tour->start();
    }
    return app.exec();
}
