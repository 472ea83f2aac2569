#include "polling/savedirs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

namespace {

void toStderr(const QString &text)
{
    const QByteArray b = text.toLocal8Bit();
    std::fwrite(b.constData(), 1, size_t(b.size()), stderr);
    std::fflush(stderr);
}

bool isLink(const QFileInfo &fi)
{
    return fi.isSymLink() || fi.isJunction();
}

// Removes a directory tree without following any link inside it: a link is
// removed as such, so its target is never entered.
bool removeTree(const QString &path)
{
    const QFileInfo fi(path);
    if (isLink(fi) || !fi.isDir())
        return QFile::remove(path) || QDir().rmdir(path);   // junctions go by rmdir
    bool ok = true;
    const QFileInfoList entries = QDir(path).entryInfoList(
        QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    for (const QFileInfo &e : entries) {
        if (!removeTree(e.filePath()))
            ok = false;
    }
    return QDir().rmdir(path) && ok;
}

} // namespace

QString SaveDirs::baseNameFor(const QString &selectedFile)
{
    const QString name = QFileInfo(selectedFile).fileName();
    return name.isEmpty() ? QStringLiteral("device") : name;
}

QString SaveDirs::dirPath(const QString &baseDirAbsolute, const QString &baseName, int address)
{
    return baseDirAbsolute + QLatin1Char('/') + baseName + QLatin1Char('_')
         + pollAddressText(address);
}

bool SaveDirs::plan(const QString &baseDir, const QString &baseName, const PollChannels &channels)
{
    m_dirs.clear();
    bool any = false;
    for (const PollChannelState &c : channels)
        any = any || c.checked;
    if (!any)
        return false;

    m_baseDir = QDir(baseDir).absolutePath();
    // Whatever the caller passes, the base name is one path component, so
    // every directory is a direct child of the base directory.
    m_baseName = baseNameFor(baseName);
    for (const PollChannelState &c : channels) {
        if (!c.checked)
            continue;
        const QString path = dirPath(m_baseDir, m_baseName, c.address);
        m_dirs.insert(c.address, path);
        toStderr(path + QLatin1Char('\n'));
    }
    return true;
}

bool SaveDirs::existsNoFollow(const QString &path)
{
    const QFileInfo fi(path);
    return fi.exists() || isLink(fi);
}

bool SaveDirs::anyExists() const
{
    for (const QString &p : m_dirs) {
        if (existsNoFollow(p))
            return true;
    }
    return false;
}

QString SaveDirs::message(bool *anyExistsOut) const
{
    QString text = QStringLiteral("Базовая директория: ") + m_baseDir + QLatin1Char('\n')
                 + QStringLiteral("Выбранное базовое имя: ") + m_baseName + QLatin1Char('\n')
                 + QStringLiteral("Будут созданы следующие директории:\n");
    bool exists = false;
    for (const QString &p : m_dirs) {
        text += QLatin1Char('\t') + p;
        if (existsNoFollow(p)) {
            exists = true;
            text += QStringLiteral(" уже существует\n");
            toStderr(QStringLiteral("Warning, dir: ") + p + QStringLiteral(" already exists\n"));
        } else {
            text += QLatin1Char('\n');
            toStderr(QStringLiteral("Dir: ") + p + QStringLiteral(" doesn't exist\n"));
        }
    }
    if (exists)
        text += QStringLiteral("\nВНИМАНИЕ: ФАЙЛЫ В СУЩЕСТВУЮЩИХ ДИРЕКТОРИЯХ БУДУТ ПЕРЕЗАПИСАНЫ\n");
    if (anyExistsOut)
        *anyExistsOut = exists;
    return text;
}

bool SaveDirs::isListedChild(const QString &path) const
{
    // Compared as written, without resolving links: the entry must be one of
    // ours and sit directly in the base directory.
    const QFileInfo fi(path);
    return !m_baseDir.isEmpty() && fi.absolutePath() == m_baseDir
        && fi.fileName().startsWith(m_baseName + QLatin1Char('_'))
        && m_dirs.values().contains(path);
}

bool SaveDirs::removeListed(const QString &path, Outcome &out) const
{
    if (!isListedChild(path)) {
        out.failed << path;
        return false;
    }
    const QFileInfo fi(path);
    // A plain file that happens to carry the directory's name is not ours to
    // delete; creating the directory will fail and the rows will say so.
    if (!isLink(fi) && !fi.isDir()) {
        out.failed << path;
        return false;
    }
    if (!removeTree(path)) {
        out.failed << path;
        return false;
    }
    out.removed << path;
    return true;
}

SaveDirs::Outcome SaveDirs::confirm(int result)
{
    Outcome out;
    if (result != Accept && result != Overwrite && result != Append) {
        end();
        return out;
    }

    m_openMode = QIODevice::Append | QIODevice::Text;
    for (const QString &p : m_dirs) {
        if (result == Overwrite && existsNoFollow(p))
            removeListed(p, out);
        if (result != Accept && existsNoFollow(p))
            continue;
        if (QDir().mkpath(p))
            out.created << p;
        else
            out.failed << p;
    }
    m_ready = true;
    out.ready = true;
    return out;
}

void SaveDirs::end()
{
    m_openMode = QIODevice::NotOpen;
    m_dirs.clear();
    m_baseName.clear();
    m_baseDir.clear();
    m_ready = false;
}
