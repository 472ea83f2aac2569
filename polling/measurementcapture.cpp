#include "polling/measurementcapture.h"

MeasurementCapture::RowView MeasurementCapture::handleAnswer(const Answer &answer,
                                                             const Inputs &in)
{
    RowView v;
    v.row = m_tableRow;
    v.headers = MeasurementRow::headers(in.capacitor);
    v.crc = MeasurementRow::crcCell(answer.checksumOk);

    // The byte the device answers with is its polling address.
    const int address = answer.address;
    const QString addressText = pollAddressText(address);
    const Command3Answer values = Command3Answer::decode(answer.data);

    const bool refused = !answer.refusal.isEmpty();
    if (refused) {
        v.file = MeasurementRow::Cell{answer.refusal, MeasurementRow::CrcBad, true};
    } else {
        v.files = CalibrationFiles::recordAnswer(m_dirs, in.temperature, in.log, address,
                                                 answer.checksumOk, values, m_pressure.plus(),
                                                 m_pressure.minus(), answer.when);
        v.file = MeasurementRow::fileCell(v.files.status);
        if (answer.checksumOk && values.complete()) {
            if (!v.files.recordFile.isEmpty())
                noteFile(v.files.recordFile, v.files.recordWritten, v.files.recordError, false, v);
            if (in.log.active())
                noteFile(in.log.fileName, v.files.logWritten, v.files.logError, true, v);
        }
    }
    v.texts = MeasurementRow::valueTexts(addressText, values, m_pressure.plus(),
                                         m_pressure.minus());

    if (!refused && answer.checksumOk && values.complete() && m_cycle.averagingOn())
        m_means.fold(address, values, in.channels);

    for (int i = 0; i < PollChannelCount; ++i) {
        if (in.channels[i].checked)
            v.means[i] = RunningMean::displayText(m_means.channel(i), in.capacitor);
    }

    v.clearTableNow = MeasurementRow::advance(m_tableRow, in.clearTable);
    return v;
}

bool MeasurementCapture::setPressue(int plusValue, int minusValue, int unitIndex)
{
    if (!m_dirs.ready())
        return false;
    m_pressure.set(plusValue, minusValue, unitIndex);
    m_cycle.pressureTaken();
    m_means.reset();
    return true;
}

void MeasurementCapture::unitChanged(int plusValue, int minusValue, int unitIndex)
{
    m_pressure.set(plusValue, minusValue, unitIndex);
}

void MeasurementCapture::startFindAvg()
{
    m_cycle.averagingStarted();
}

std::array<QString, PollChannelCount> MeasurementCapture::clearMO(const Inputs &in)
{
    m_cycle.meansCleared();
    m_means.reset();
    std::array<QString, PollChannelCount> texts;
    const QString zero = RunningMean::displayText(m_means.channel(0), in.capacitor);
    for (int i = 0; i < PollChannelCount; ++i)
        texts[i] = in.channels[i].checked ? zero : QLatin1String("");
    return texts;
}

MeasurementCapture::AddDataResult MeasurementCapture::addDataCoef(const Inputs &in)
{
    AddDataResult r;
    r.outcomes = CalibrationFiles::addPoints(m_dirs, in.temperature, m_means, in.channels,
                                             m_pressure.plus(), m_pressure.minus());
    if (!r.outcomes.isEmpty())
        r.status = CalibrationFiles::pointStatusText(r.outcomes);
    r.means = clearMO(in);
    m_cycle.pointAdded();
    return r;
}

void MeasurementCapture::noteFile(const QString &file, bool written, const QString &error,
                                  bool isLog, RowView &v)
{
    const auto known = m_fileFaults.constFind(file);
    if (written) {
        if (known != m_fileFaults.constEnd()) {
            m_fileFaults.erase(known);
            m_faultsTold.remove(file);
            v.fileRecoveries << QStringLiteral("Запись в файл %1 возобновлена").arg(file);
        }
        return;
    }
    if (known != m_fileFaults.constEnd() && known.value() == error && m_faultsTold.contains(file))
        return;
    m_fileFaults.insert(file, error);
    m_faultsTold.insert(file);
    v.fileFaults << (isLog ? logFaultText(file, error) : recordFaultText(file, error));
}

QString MeasurementCapture::recordFaultText(const QString &file, const QString &error)
{
    return QStringLiteral("Измерения не записаны в %1: %2. Проверьте папку и права на запись; "
                          "запись продолжится, когда файл станет доступен")
        .arg(file, error);
}

QString MeasurementCapture::logFaultText(const QString &file, const QString &error)
{
    return QStringLiteral("Журнал измерений не записан в %1: %2. Проверьте папку и права на "
                          "запись или выберите другой файл кнопкой \"Сохранять как\"")
        .arg(file, error);
}
