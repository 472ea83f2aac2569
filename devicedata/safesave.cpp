#include "devicedata/safesave.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace SafeSave {

namespace {

// True when replacing the existing file would change more than its
// contents: its other names or its owner.
bool replacingHasSideEffects(const QFileInfo &existing)
{
#ifdef Q_OS_UNIX
    struct stat st;
    const QByteArray native = QFile::encodeName(existing.absoluteFilePath());
    if (::stat(native.constData(), &st) != 0)
        return false;
    return st.st_nlink > 1 || st.st_uid != ::geteuid();
#else
    Q_UNUSED(existing);
    return false;
#endif
}

Result writeInPlace(const QString &path, const QByteArray &data)
{
    Result r;
    r.inPlace = true;
    // Not truncated first: the old contents are overwritten from the start
    // and the rest cut off only once the new contents are all in.
    QFile f(path);
    if (!f.open(QIODevice::ReadWrite | QIODevice::Unbuffered)) {
        r.error = f.errorString();
        return r;
    }
    if (f.write(data) != data.size() || !f.resize(data.size()) || !f.flush()) {
        r.error = f.errorString();
        return r;
    }
    f.close();
    r.ok = f.error() == QFileDevice::NoError;
    if (!r.ok)
        r.error = f.errorString();
    return r;
}

Result replace(const QString &path, const QByteArray &data)
{
    Result r;
    QSaveFile file(path);
    file.setDirectWriteFallback(true);
    // Unbuffered, so that a failing write (a full disk) fails here and not
    // unnoticed in the flush at commit.
    bool ok = file.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    if (ok)
        ok = file.write(data) == data.size() && file.commit();
    if (!ok) {
        r.error = file.errorString();
        file.cancelWriting();
        return r;
    }
    r.ok = true;
    return r;
}

} // namespace

Result write(const QString &path, const QByteArray &data, bool text)
{
    QByteArray bytes = data;
#ifdef Q_OS_WIN
    if (text)
        bytes.replace("\n", "\r\n");
#else
    Q_UNUSED(text);
#endif
    // QFileInfo follows a symbolic link: what counts is what it points to,
    // which is also what QSaveFile writes.
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        Result r;
        r.error = QStringLiteral("«%1» — не обычный файл (папка, устройство или канал); "
                                 "он не заменяется, выберите другое имя")
                          .arg(QDir::toNativeSeparators(info.absoluteFilePath()));
        return r;
    }
    if (info.exists() && replacingHasSideEffects(info))
        return writeInPlace(path, bytes);
    return replace(path, bytes);
}

} // namespace SafeSave
