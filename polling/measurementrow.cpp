#include "polling/measurementrow.h"

QStringList MeasurementRow::headers(bool capacitor)
{
    QStringList h;
    h << QStringLiteral("Адрес") << QStringLiteral("Ток, мА");
    if (capacitor) {
        h << QStringLiteral("f1, кГц") << QStringLiteral("f2, кГц")
          << QStringLiteral("P, кПа") << QStringLiteral("t, °C");
    } else {
        h << QStringLiteral("U1, мВ") << QStringLiteral("U2, мВ")
          << QStringLiteral("U3, мВ") << QStringLiteral("U4, мВ");
    }
    h << QStringLiteral("P+, кПа") << QStringLiteral("P-, кПа")
      << QStringLiteral("CRC") << QStringLiteral("Файл");
    return h;
}

MeasurementRow::Cell MeasurementRow::crcCell(bool checksumOk)
{
    return checksumOk ? Cell{QStringLiteral("OK"), CrcGood, true}
                      : Cell{QStringLiteral("BAD"), CrcBad, true};
}

MeasurementRow::Cell MeasurementRow::fileCell(FileStatus status)
{
    switch (status) {
    case FileStatus::Written:
        return Cell{QStringLiteral("Записан"), FileGood, true};
    case FileStatus::OpenError:
        return Cell{QStringLiteral("Ошибка открытия"), FileBad, true};
    case FileStatus::NotChosen:
        return Cell{QStringLiteral("Файл не выбран"), FileBad, true};
    case FileStatus::WriteError:
        return Cell{QStringLiteral("Ошибка записи"), FileFailed, true};
    case FileStatus::LogError:
        return Cell{QStringLiteral("Журнал не записан"), FileFailed, true};
    case FileStatus::None:
        break;
    }
    return Cell{};
}

QString MeasurementRow::valueText(float value)
{
    return QString::number(double(value), 'f', 4);
}

QString MeasurementRow::pressureText(double kPa)
{
    return QString::number(kPa, 'g', 6);
}

QStringList MeasurementRow::valueTexts(const QString &addressText, const Command3Answer &answer,
                                       double pressurePlus, double pressureMinus)
{
    QStringList t;
    t << addressText;
    for (int k = 0; k < Command3Answer::ValueCount; ++k)
        t << valueText(answer.value(k));
    t << pressureText(pressurePlus) << pressureText(pressureMinus);
    return t;
}

bool MeasurementRow::advance(int &row, bool clearWhenFull)
{
    row += 1;
    if (row > MaxRowIndex && clearWhenFull) {
        row = 0;
        return true;
    }
    return false;
}
