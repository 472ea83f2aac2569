#pragma once
// Reads what the plan needs to know of each device: its range registers
// (Pmax, the set range) and serial number, its model and sensor code, and
// one measurement whose unit codes tell a frequency (capacitive) sensor
// from a strain-gauge one. Three requests per device, one at a time.

#include "guided/guidedlink.h"
#include "guided/guidedplan.h"

#include <QObject>
#include <QStringList>
#include <QVector>

class GuidedIdentify : public QObject
{
    Q_OBJECT
public:
    explicit GuidedIdentify(GuidedLink *link, QObject *parent = nullptr);

    // strainDefault: the sensor type of a strain-gauge device (its answers
    // do not say whether it has one bridge or two).
    bool start(const QVector<int> &addresses, SensorModel strainDefault);
    bool isRunning() const { return m_running; }
    const QVector<GuidedDevice> &devices() const { return m_devices; }
    // One line per device that could not be read, with the reason.
    const QStringList &failures() const { return m_failures; }

    // The kHz unit code a frequency sensor reports its signals under.
    static constexpr int FrequencyUnitCode = 38;

signals:
    void finished();

private:
    void next();
    void onReply(const GuidedReply &reply);

    GuidedLink *m_link;
    QVector<int> m_addresses;
    SensorModel m_strainDefault = SensorModel::TwoGauge;
    int m_index = 0;
    int m_step = 0;
    bool m_running = false;
    GuidedDevice m_current;
    QVector<GuidedDevice> m_devices;
    QStringList m_failures;
};
