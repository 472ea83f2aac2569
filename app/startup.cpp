#include "app/startup.h"

#include "app/mainwindow.h"
#include "settings/benchprofile.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstring>

bool asksForHelpOrVersion(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        for (const char *option : {"-h", "-?", "--help", "--help-all", "-v", "--version"}) {
            if (std::strcmp(argv[i], option) == 0)
                return true;
        }
    }
    return false;
}

StartOptions readCommandLine(const QCoreApplication &app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Tesmar: настройка и калибровка датчиков давления HART.\n\n"
        "Без --profile настройки хранятся в общем хранилище пользователя, а файл\n"
        "COM.conf.dat и файлы данных - в папке, из которой запущена программа.\n"
        "С --profile ИМЯ всё это хранится в папке профиля:\n  %1")
        .arg(BenchProfile::folderFor(QStringLiteral("ИМЯ"))));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption profileOpt(QStringLiteral("profile"),
        QStringLiteral("Профиль стенда: свои настройки, свой COM.conf.dat и своя папка данных."),
        QStringLiteral("ИМЯ"));
    const QCommandLineOption portOpt(QStringLiteral("port"),
        QStringLiteral("Порт, предложенный первым в списке портов (как TESMAR_PORT)."),
        QStringLiteral("ПУТЬ"));
    parser.addOptions({profileOpt, portOpt});
    parser.process(app);

    StartOptions options;
    if (!parser.positionalArguments().isEmpty()) {
        options.error = QStringLiteral("лишние аргументы: %1 (см. --help)")
                            .arg(parser.positionalArguments().join(QLatin1Char(' ')));
        return options;
    }
    options.port = parser.value(portOpt).trimmed();
    if (parser.isSet(profileOpt)) {
        options.profile = parser.value(profileOpt);
        options.error = BenchProfile::nameError(options.profile);
    }
    return options;
}

std::unique_ptr<MainWindow> startTesmar(const StartOptions &options, QString *error)
{
    if (!BenchProfile::activate(options.profile, error))
        return nullptr;
    // The window reads its preferred port where it always has.
    if (!options.port.isEmpty())
        qputenv("TESMAR_PORT", options.port.toLocal8Bit());
    auto window = std::make_unique<MainWindow>();
    window->setWindowTitle(BenchProfile::windowTitle(qEnvironmentVariable("TESMAR_PORT")));
    return window;
}
