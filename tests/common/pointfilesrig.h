#pragma once
// Point files of a two-gauge transmitter whose zero and span drift with
// temperature, as the polling tab writes them (V1 V2 V3 V4 P+ P- per line,
// 0..100 kPa): a calculation on them succeeds with Pmax 100 kPa.

#include <QByteArrayList>
#include <QFile>
#include <QString>

inline bool writeTwoGaugePointFiles(const QString &dir, const QString &base)
{
    const double temps[3] = {-40, 23, 70};
    const char *const suffix[3] = {"_Tmin_MNK.txt", "_Tmid_MNK.txt", "_Tmax_MNK.txt"};
    for (int i = 0; i < 3; ++i) {
        QFile f(dir + QLatin1Char('/') + base + QLatin1String(suffix[i]));
        if (!f.open(QIODevice::WriteOnly | QIODevice::Text))
            return false;
        const double dt = temps[i] - 23;
        for (double p : {0.0, 0.0, 25.0, 50.0, 75.0, 100.0, 100.0}) {
            const double v1 = 2.0 + 0.02 * p + 0.004 * dt + 0.00003 * dt * dt;
            const double v2 = 1.0 + 0.01 * p + 0.002 * dt;
            const double v4 = 300 + 1.5 * dt;
            QByteArrayList fields;
            for (double v : {v1, v2, 0.0, v4, p, p})
                fields << QByteArray::number(v, 'e', 6);
            f.write(fields.join('\t') + '\n');
        }
    }
    return true;
}
