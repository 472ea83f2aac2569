#pragma once
// The bench profile this Tesmar runs under, and the one way to its settings
// store.
//
// Several calibration benches on one PC each run a Tesmar of their own, each
// on its own port. A bench started with a profile keeps everything it writes
// in the profile's folder: the settings store ("Tesmar.conf"), the serial
// settings file ("COM.conf.dat") and its data files. The folder becomes the
// working directory, so every relative path of the program (the serial
// settings file, the start of every file dialog) resolves inside it and no
// bench ever reads what another one wrote.
//
// Without a profile nothing moves: the platform's store of "Vornik"/"Tesmar"
// and the working directory the program was started in.
//
// The profile is chosen once, before the main window is built, and holds for
// the whole run. Its folder stays locked for that time, so that a second
// Tesmar cannot take the same profile and overwrite its settings at exit.

#include <QSettings>
#include <QString>

class BenchProfile
{
public:
    // Why a text cannot name a profile, in words for the operator; empty when
    // it can. A name is one folder name: letters, digits, "-", "_" and ".",
    // at most MaxNameLength characters, starting with a letter or a digit.
    static QString nameError(const QString &name);
    static constexpr int MaxNameLength = 64;

    // The folder of a profile: <user data folder>/Vornik/Tesmar/profiles/NAME
    // (on Linux ~/.local/share/..., or below $XDG_DATA_HOME).
    static QString folderFor(const QString &name);

    // Makes NAME the profile of this process: checks the name, creates the
    // folder (with "data" inside), locks it and makes it the working
    // directory. An empty name keeps the standard places and always works.
    // On failure nothing has changed and *error says why.
    static bool activate(const QString &name, QString *error);

    // The active profile; empty (and folder() empty) without one.
    static QString name();
    static QString folder();

    // The settings store of this run. Open it where it is used, as a local:
    //     QSettings s = BenchProfile::settings();
    static QSettings settings();

    // "Tesmar", followed by the profile and the port of this run when set.
    static QString windowTitle(const QString &port);

    static constexpr const char *SettingsFileName = "Tesmar.conf";
    static constexpr const char *LockFileName = "Tesmar.lock";
};
