#include "monitor/rotatinglogfile.h"

#include <QFileInfo>

namespace {
constexpr qint64 MinBytes = 1024;
}

QString RotatingLogFile::rotatedName(const QString &path, int k)
{
    return path + QLatin1Char('.') + QString::number(k);
}

void RotatingLogFile::setMaxBytes(qint64 maxBytes)
{
    m_maxBytes = qMax(MinBytes, maxBytes);
}

bool RotatingLogFile::open(const QString &path, qint64 maxBytes, QString *error)
{
    close();
    setMaxBytes(maxBytes);
    m_path = path;
    m_rotations = 0;
    // Only a regular file: opening a pipe nobody reads would hang the window,
    // writing to a device would send the log to hardware, and rotating
    // either would rename it.
    const QFileInfo info(path);
    if (info.isDir())
        return fail(QStringLiteral("это папка"), error);
    if (info.exists() && !info.isFile())
        return fail(QStringLiteral("не обычный файл (устройство или канал)"), error);
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append))
        return fail(m_file.errorString(), error);
    m_size = m_file.size();
    return true;
}

void RotatingLogFile::close()
{
    if (m_file.isOpen()) {
        m_file.flush();
        m_file.close();
    }
}

bool RotatingLogFile::fail(const QString &why, QString *error)
{
    if (error)
        *error = why;
    if (m_file.isOpen())
        m_file.close();
    return false;
}

bool RotatingLogFile::rotate(QString *error)
{
    m_file.close();
    QFile::remove(rotatedName(m_path, KeptFiles));
    for (int k = KeptFiles - 1; k >= 1; --k) {
        const QString from = rotatedName(m_path, k);
        if (QFile::exists(from) && !QFile::rename(from, rotatedName(m_path, k + 1)))
            return fail(QStringLiteral("не удалось переименовать %1").arg(from), error);
    }
    if (!QFile::rename(m_path, rotatedName(m_path, 1)))
        return fail(QStringLiteral("не удалось переименовать %1").arg(m_path), error);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return fail(m_file.errorString(), error);
    m_size = 0;
    ++m_rotations;
    return true;
}

bool RotatingLogFile::writeLine(const QByteArray &line, QString *error)
{
    if (!m_file.isOpen())
        return fail(QStringLiteral("файл не открыт"), error);
    const qint64 need = line.size() + 1;
    // A line longer than the whole limit still gets a file of its own.
    if (m_size > 0 && m_size + need > m_maxBytes && !rotate(error))
        return false;
    QByteArray out = line;
    out += '\n';
    if (m_file.write(out) != out.size() || !m_file.flush())
        return fail(m_file.errorString(), error);
    m_size += out.size();
    return true;
}
