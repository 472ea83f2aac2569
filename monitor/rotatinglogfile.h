#pragma once
// A text log streamed to a file the engineer chose: every line reaches the
// file as it is written (flushed, so a crash or a pulled plug loses at most
// the line in hand), and the file never grows past the size set: when the
// next line would pass it, the file moves to "<name>.1" (older ones to .2
// and .3, the oldest dropped) and a new one is started.
//
// A failure is reported once to the caller and closes the stream; nothing
// retries behind the engineer's back.

#include <QByteArray>
#include <QFile>
#include <QString>

class RotatingLogFile
{
public:
    static constexpr int KeptFiles = 3;

    ~RotatingLogFile() { close(); }

    // Appends to the file when it exists. maxBytes below 1 KiB is taken as 1 KiB.
    bool open(const QString &path, qint64 maxBytes, QString *error);
    void close();
    bool isOpen() const { return m_file.isOpen(); }
    QString path() const { return m_path; }
    qint64 maxBytes() const { return m_maxBytes; }
    void setMaxBytes(qint64 maxBytes);
    int rotations() const { return m_rotations; }

    // Writes the line and a line feed. False, with the reason, when the line
    // could not be written or the file could not be rotated; the stream is
    // closed then.
    bool writeLine(const QByteArray &line, QString *error);

    // Name of the k-th older file (k = 1..KeptFiles).
    static QString rotatedName(const QString &path, int k);

private:
    bool rotate(QString *error);
    bool fail(const QString &why, QString *error);

    QFile m_file;
    QString m_path;
    qint64 m_maxBytes = 1 << 20;
    qint64 m_size = 0;
    int m_rotations = 0;
};
