#pragma once
// The per-device save directories of a calibration run: one directory per
// polled address below a base directory the operator picks, named after a
// base name and the address ("…/run1_0a"). Plans the list, describes it for
// the confirmation, and creates, overwrites or appends once confirmed.
//
// Overwriting removes only directories this object listed, and only as
// direct children of the chosen base directory; a symbolic link met on the
// way is removed as a link, never followed, so nothing outside those
// directories can be touched.

#include "polling/pollchannelstate.h"

#include <QIODevice>
#include <QMap>
#include <QString>
#include <QStringList>

class SaveDirs
{
public:
    // Results of the confirmation dialog.
    enum ConfirmResult { Accept = 1, Overwrite = 2, Append = 3, Cancel = 4 };

    struct Outcome
    {
        bool ready = false;             // the selection stands
        QStringList created;
        QStringList removed;
        QStringList failed;             // could not be created or removed
    };

    // Base name from the last file name the file dialog returned: its last
    // path component, or "device" when that is empty.
    static QString baseNameFor(const QString &selectedFile);

    // Lists one directory per checked channel, keyed by its polling address.
    // The previous list is dropped first. Returns false (and lists nothing)
    // when no channel is checked; readiness is left as it was.
    bool plan(const QString &baseDir, const QString &baseName, const PollChannels &channels);

    // The text shown for confirmation; *anyExists tells whether some listed
    // directory is already there (then the plain accept is not offered).
    QString message(bool *anyExists = nullptr) const;
    bool anyExists() const;

    // Carries out the operator's answer. Accept creates every listed
    // directory, Overwrite removes the existing ones and creates them anew,
    // Append creates only the missing ones. Cancel - and a dialog closed
    // without any button - ends the selection: nothing is created, and the
    // run is not marked ready with directories nobody agreed to.
    Outcome confirm(int result);

    // Drops the selection (the "Закончить калибровку" button).
    void end();

    bool ready() const { return m_ready; }
    QIODevice::OpenMode openMode() const { return m_openMode; }
    QString baseName() const { return m_baseName; }
    QString baseDir() const { return m_baseDir; }
    const QMap<int, QString> &dirs() const { return m_dirs; }
    // Directory of a polling address, empty when it has none.
    QString dirFor(int address) const { return m_dirs.value(address); }

    // The directory name of an address below a base directory.
    static QString dirPath(const QString &baseDirAbsolute, const QString &baseName, int address);

private:
    static bool existsNoFollow(const QString &path);
    bool isListedChild(const QString &path) const;
    bool removeListed(const QString &path, Outcome &out) const;

    QMap<int, QString> m_dirs;
    QString m_baseDir;
    QString m_baseName;
    QIODevice::OpenMode m_openMode = QIODevice::NotOpen;
    bool m_ready = false;
};
