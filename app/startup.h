#pragma once
// The start of a Tesmar run: its command line, its bench profile and its one
// main window. The program entry and the tests that start Tesmar processes
// of their own go through here.

#include <QString>
#include <memory>

class MainWindow;
class QCoreApplication;

struct StartOptions
{
    QString profile;    // empty: the standard settings store and working directory
    QString port;       // offered first in the port list; empty: none given
    QString error;      // a command line that cannot start Tesmar, in words
};

// True when the command line asks for --help or --version only, which are
// answered on the console without a display.
bool asksForHelpOrVersion(int argc, char **argv);

// Reads tesmar's command line (--profile NAME, --port PATH). --help,
// --version and an unknown option end the program here, as
// QCommandLineParser::process does; a bad profile name comes back in error.
StartOptions readCommandLine(const QCoreApplication &app);

// Takes the profile of the run, then builds the main window with the port
// preselected and the title naming both. nullptr, and *error saying why,
// when the profile cannot be taken.
std::unique_ptr<MainWindow> startTesmar(const StartOptions &options, QString *error);
