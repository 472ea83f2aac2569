// The link's port: opening and setting it up, and losing it under a
// transmission (a removed adapter, a hung-up line, a refused write).

#include "link/protocolcomhart.h"
#include "link/linklog.h"

#include <QFile>
#include <QFileInfo>
#include <QSerialPort>
#include <QTimer>
#include <unistd.h>

namespace {

// The device file a port name stands for, as the serial port library reads it.
QString devicePath(const QString &name)
{
    if (name.startsWith(QLatin1Char('/')) || name.startsWith(QLatin1String("./"))
        || name.startsWith(QLatin1String("../")))
        return name;
    return QStringLiteral("/dev/") + name;
}


} // namespace

// ---------------------------------------------------------------- port

bool protocolComHart::openPort(const QString &name)
{
    if (m_port->isOpen() && m_portName == name && !m_losingLine)
        return true;
    closePort();
    // A loss still being wound up must not close the port opened now.
    m_losingLine = false;
    m_portName = name;
    // The lock that keeps a second program off a port is named after the path
    // opened: open the device a link (/dev/serial/by-id/..., a virtual line)
    // points to, so that every name of one device meets the same lock.
    const QFileInfo device(devicePath(name));
    const QString target = device.isSymLink() ? device.canonicalFilePath() : QString();
    m_port->setPortName(target.isEmpty() ? name : target);
    if (!m_port->open(QIODevice::ReadWrite)) {
        linkDiagnostic("protocolComHart::couldn't set rw permission\n");
        linkDiagnostic(m_port->errorString() + QLatin1Char('\n'));
        return false;
    }
    if (!configurePort()) {
        linkDiagnostic(m_port->errorString() + QLatin1Char('\n'));
        return false;
    }
    return true;
}

bool protocolComHart::configurePort()
{
    // A setting the port already holds is not sent again: a pseudo-terminal
    // drops the parity-enable bit and then refuses a second odd-parity
    // request, which would fail a re-apply of an unchanged record.
    const auto dataBits = QSerialPort::DataBits(m_config.dataBits);
    const auto parity = QSerialPort::Parity(m_config.parity);
    const auto stopBits = QSerialPort::StopBits(m_config.stopBits);
    const auto flow = QSerialPort::FlowControl(m_config.flowControl);
    m_refusedSetting.clear();
    const auto refused = [this](const char *diagnostic, const QString &setting) {
        linkDiagnostic(diagnostic);
        m_refusedSetting = setting;
        return false;
    };
    if (m_port->baudRate(QSerialPort::Input) != m_config.baudRate
        || m_port->baudRate(QSerialPort::Output) != m_config.baudRate) {
        if (!m_port->setBaudRate(m_config.baudRate, QSerialPort::AllDirections))
            return refused("protocolComHart::couldn't set baudrate\n", QStringLiteral("скорость"));
    }
    if (m_port->dataBits() != dataBits && !m_port->setDataBits(dataBits))
        return refused("protocolComHart::couldn't set data bits number\n", QStringLiteral("число бит данных"));
    if (m_port->parity() != parity && !m_port->setParity(parity))
        return refused("protocolComHart::couldn't set parity\n", QStringLiteral("контроль чётности"));
    if (m_port->stopBits() != stopBits && !m_port->setStopBits(stopBits))
        return refused("protocolComHart::couldn't set stop bits\n", QStringLiteral("число стоповых бит"));
    if (m_port->flowControl() != flow && !m_port->setFlowControl(flow))
        return refused("protocolComHart::couldn't set flow control\n", QStringLiteral("управление потоком"));
    return true;
}

void protocolComHart::closePort()
{
    m_closingPort = true;
    m_port->close();
    m_closingPort = false;
    // Whatever phase the request in flight had reached, no answer can come
    // through a closed port: it ends at once with its time-out outcome.
    if (m_busy && m_phase != Phase::Unsent) {
        m_timeoutTimer->stop();
        m_phase = Phase::Unsent;
        m_phaseTimer->start(0);
    }
}

bool protocolComHart::isPortOpen() const { return m_port->isOpen(); }
QString protocolComHart::portName() const { return m_portName; }
QString protocolComHart::portErrorString() const { return m_port->errorString(); }

QSerialPort::SerialPortError protocolComHart::portError() const { return m_port->error(); }

bool protocolComHart::portHeldElsewhere() const
{
    // The library reports a port locked by another program, and one another
    // program opened exclusively, as a permission error. It is the other
    // program, not the rights, when this user may read and write the device.
    if (m_port->isOpen() || m_port->error() != QSerialPort::PermissionError)
        return false;
    return ::access(QFile::encodeName(devicePath(m_portName)).constData(), R_OK | W_OK) == 0;
}

SerialConfig &protocolComHart::serialConfig() { return m_config; }
const SerialConfig &protocolComHart::serialConfig() const { return m_config; }

// ---------------------------------------------------------------- line loss

void protocolComHart::onPortError(QSerialPort::SerialPortError error)
{
    // Closing a port whose device is gone fails to restore its settings and
    // says so; that is no news.
    if (m_closingPort || !m_port->isOpen())
        return;
    QString what;
    switch (error) {
    case QSerialPort::ResourceError:
    case QSerialPort::DeviceNotFoundError:
        what = QStringLiteral("устройство недоступно");
        break;
    case QSerialPort::ReadError:
        what = QStringLiteral("ошибка чтения");
        break;
    case QSerialPort::WriteError:
        what = QStringLiteral("ошибка записи");
        break;
    default:
        return;
    }
    linkDiagnostic(QStringLiteral("protocolComHart::port error %1 on %2: %3\n")
                        .arg(int(error)).arg(m_portName, m_port->errorString()));
    loseLine(QStringLiteral("%1: %2").arg(m_portName, what));
}

void protocolComHart::loseLine(const QString &reason)
{
    if (m_losingLine)
        return;
    m_losingLine = true;
    const bool wasRepeating = m_repeating;
    dropEverything();
    // The port reports the error from inside its own notifier, which goes
    // on using its buffers after this returns: it is closed from the event
    // loop. Until then a vanished device may keep the notifier firing; it is
    // a turn or two, and nothing here reacts to it.
    QMetaObject::invokeMethod(this, [this, reason, wasRepeating] {
        if (wasRepeating)
            emit repeatEnded();
        if (m_losingLine) {
            m_closingPort = true;
            m_port->close();
            m_closingPort = false;
            m_losingLine = false;
        }
        emit lineLost(reason);
    }, Qt::QueuedConnection);
}

void protocolComHart::dropEverything()
{
    m_timeoutTimer->stop();
    m_sendTimer->stop();
    m_phaseTimer->stop();
    disconnect(m_sendTimer, &QTimer::timeout, this, &protocolComHart::sendNext);
    disconnect(this, &protocolComHart::answerGet, this, &protocolComHart::sendNext);
    disconnect(m_sendTimer, &QTimer::timeout, this, &protocolComHart::timerSendLoop);
    m_queue.clear();
    m_queueIndex = 0;
    m_queueRunning = false;
    m_loopMode = false;
    m_repeating = false;
    m_phase = Phase::Idle;
    m_busy = false;
    m_repeatsLeft = m_repeatCount;
    m_allSent = false;
    m_answerPending = false;
    m_receiver.reset();
}

