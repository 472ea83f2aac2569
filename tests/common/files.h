#pragma once
// Whole-file reads and writes for tests that check what a reader or writer
// left on disk.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QtTest>

inline QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline void writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(data), qint64(data.size()));
}
