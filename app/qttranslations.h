#pragma once
// Qt's own words (file dialogs, standard buttons, context menus) in Russian,
// like the rest of the program.

class QCoreApplication;

// Installs Qt's Russian translation from the directory Qt was built to look
// in; returns false, and leaves the English texts, when there is none.
bool installQtTranslations(QCoreApplication *app);
