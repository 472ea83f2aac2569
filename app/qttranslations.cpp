#include "app/qttranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

bool installQtTranslations(QCoreApplication *app)
{
    auto *translator = new QTranslator(app);
    const QString dir = QLibraryInfo::location(QLibraryInfo::TranslationsPath);
    // qtbase_ru.qm carries the widgets' texts; a missing package only
    // leaves them in English.
    if (!translator->load(QLocale(QLocale::Russian, QLocale::Russia), QStringLiteral("qtbase"),
                          QStringLiteral("_"), dir)) {
        delete translator;
        return false;
    }
    app->installTranslator(translator);
    return true;
}
