#include "settings/benchprofile.h"

#include <QDir>
#include <QLockFile>
#include <QStandardPaths>
#include <QStringList>
#include <memory>

namespace {

struct Active
{
    QString name;
    QString folder;
    std::unique_ptr<QLockFile> lock;   // held until the process ends
};

Active &active()
{
    static Active a;
    return a;
}

} // namespace

QString BenchProfile::nameError(const QString &name)
{
    const QString head = QStringLiteral("Имя профиля «%1» не подходит: ").arg(name);
    if (name.isEmpty())
        return QStringLiteral("Имя профиля не может быть пустым");
    if (name.size() > MaxNameLength)
        return head + QStringLiteral("оно длиннее %1 знаков").arg(MaxNameLength);
    if (name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')))
        return head + QStringLiteral("это имя папки, а не путь (без «/» и «\\»)");
    if (!name.at(0).isLetterOrNumber())
        return head + QStringLiteral("оно должно начинаться с буквы или цифры");
    for (const QChar c : name) {
        if (!c.isLetterOrNumber() && c != QLatin1Char('-') && c != QLatin1Char('_') && c != QLatin1Char('.'))
            return head + QStringLiteral("допустимы только буквы, цифры и знаки «-», «_», «.»");
    }
    return QString();
}

QString BenchProfile::folderFor(const QString &name)
{
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (base.isEmpty())
        return QString();
    return QDir(base).filePath(QStringLiteral("Vornik/Tesmar/profiles/") + name);
}

bool BenchProfile::activate(const QString &name, QString *error)
{
    const auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    if (name.isEmpty())
        return true;
    if (!active().folder.isEmpty())
        return fail(QStringLiteral("Профиль «%1» уже выбран для этого окна").arg(active().name));
    const QString why = nameError(name);
    if (!why.isEmpty())
        return fail(why);

    const QString folder = folderFor(name);
    if (folder.isEmpty())
        return fail(QStringLiteral("Не найдена папка данных пользователя для профиля «%1»").arg(name));
    if (!QDir().mkpath(QDir(folder).filePath(QStringLiteral("data"))))
        return fail(QStringLiteral("Не удалось создать папку профиля %1: проверьте права на запись")
                        .arg(QDir::toNativeSeparators(folder)));

    // A bench runs for days: the lock goes stale only with its process, never
    // by age.
    auto lock = std::make_unique<QLockFile>(QDir(folder).filePath(QString::fromLatin1(LockFileName)));
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0)) {
        if (lock->error() == QLockFile::LockFailedError)
            return fail(QStringLiteral("Профиль «%1» уже открыт в другом окне Tesmar").arg(name));
        return fail(QStringLiteral("Не удалось занять папку профиля %1: проверьте права на запись")
                        .arg(QDir::toNativeSeparators(folder)));
    }
    if (!QDir::setCurrent(folder))
        return fail(QStringLiteral("Не удалось перейти в папку профиля %1")
                        .arg(QDir::toNativeSeparators(folder)));

    Active &a = active();
    a.name = name;
    a.folder = folder;
    a.lock = std::move(lock);
    return true;
}

QString BenchProfile::name() { return active().name; }
QString BenchProfile::folder() { return active().folder; }

QSettings BenchProfile::settings()
{
    if (active().folder.isEmpty())
        return QSettings(QStringLiteral("Vornik"), QStringLiteral("Tesmar"));
    return QSettings(QDir(active().folder).filePath(QString::fromLatin1(SettingsFileName)),
                     QSettings::IniFormat);
}

QString BenchProfile::windowTitle(const QString &port)
{
    QStringList parts;
    if (!active().name.isEmpty())
        parts << QStringLiteral("профиль %1").arg(active().name);
    if (!port.isEmpty())
        parts << QStringLiteral("порт %1").arg(port);
    if (parts.isEmpty())
        return QStringLiteral("Tesmar");
    return QStringLiteral("Tesmar — ") + parts.join(QStringLiteral(", "));
}
