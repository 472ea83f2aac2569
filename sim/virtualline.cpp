#include "sim/virtualline.h"

#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <sys/inotify.h>
#include <termios.h>
#include <unistd.h>

namespace sim {

namespace {

constexpr int MaxRequestsKept = 10000;
constexpr int MaxAddress = 15;
constexpr int BitsPerByte = 11; // start, 8 data, parity, stop
constexpr qint64 NsPerMs = 1000000;

bool setFdFlags(int fd)
{
    const int fl = ::fcntl(fd, F_GETFL);
    const int fdfl = ::fcntl(fd, F_GETFD);
    return fl >= 0 && fdfl >= 0 && ::fcntl(fd, F_SETFL, fl | O_NONBLOCK) == 0
        && ::fcntl(fd, F_SETFD, fdfl | FD_CLOEXEC) == 0;
}

QVector<QByteArray> splitInto(const QByteArray &wire, const QVector<int> &sizes)
{
    QVector<QByteArray> chunks;
    int pos = 0;
    for (int size : sizes) {
        if (size <= 0 || pos >= wire.size())
            continue;
        chunks.append(wire.mid(pos, size));
        pos += size;
    }
    if (pos < wire.size())
        chunks.append(wire.mid(pos));
    return chunks;
}

} // namespace

VirtualLine::VirtualLine(QObject *parent)
    : QObject(parent)
{
    m_clock.start();
    m_pumpTimer = new QTimer(this);
    m_pumpTimer->setSingleShot(true);
    m_pumpTimer->setTimerType(Qt::PreciseTimer);
    connect(m_pumpTimer, &QTimer::timeout, this, &VirtualLine::pump);
    m_readRetryTimer = new QTimer(this);
    m_readRetryTimer->setSingleShot(true);
    m_readRetryTimer->setInterval(50);
    connect(m_readRetryTimer, &QTimer::timeout, this, [this] {
        if (m_readNotifier)
            m_readNotifier->setEnabled(true);
    });
}

VirtualLine::~VirtualLine()
{
    close();
}

bool VirtualLine::open()
{
    if (isOpen())
        return true;
    int master = -1;
    int slave = -1;
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
        m_error = QStringLiteral("openpty: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    char name[PATH_MAX] = {};
    termios tio {};
    // Raw at once: no echo or line discipline may touch the bytes before a
    // client has opened the slave and set its own terminal attributes.
    bool ok = ::ptsname_r(master, name, sizeof name) == 0 && ::tcgetattr(slave, &tio) == 0;
    if (ok) {
        ::cfmakeraw(&tio);
        ok = ::tcsetattr(slave, TCSANOW, &tio) == 0 && setFdFlags(master) && setFdFlags(slave);
    }
    if (!ok) {
        m_error = QStringLiteral("pseudo-terminal set-up: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        ::close(master);
        ::close(slave);
        return false;
    }
    m_masterFd = master;
    m_slaveFd = slave;
    m_portName = QString::fromLocal8Bit(name);
    m_error.clear();
    m_framer.reset();

    m_readNotifier = new QSocketNotifier(m_masterFd, QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &VirtualLine::onReadable);
    watchClients();
    m_writeNotifier = new QSocketNotifier(m_masterFd, QSocketNotifier::Write, this);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &VirtualLine::onWritable);
    return true;
}

void VirtualLine::close()
{
    m_pumpTimer->stop();
    m_readRetryTimer->stop();
    delete m_readNotifier;
    m_readNotifier = nullptr;
    delete m_closeNotifier;
    m_closeNotifier = nullptr;
    if (m_closeWatchFd >= 0)
        ::close(m_closeWatchFd);
    m_closeWatchFd = -1;
    delete m_writeNotifier;
    m_writeNotifier = nullptr;
    if (!m_linkPath.isEmpty()) {
        // Only our own link: someone may have put another one in its place.
        if (QFile::symLinkTarget(m_linkPath) == m_portName)
            QFile::remove(m_linkPath);
        m_linkPath.clear();
    }
    if (m_masterFd >= 0)
        ::close(m_masterFd);
    if (m_slaveFd >= 0)
        ::close(m_slaveFd);
    m_masterFd = m_slaveFd = -1;
    m_portName.clear();
    m_outgoing.clear();
    m_active = false;
    m_framer.reset();
}

// The line holds its slave side open, so the pseudo-terminal and its
// settings outlive every client. A client that set odd parity and was
// killed (or never restored the settings it found) leaves the parity-type
// bit behind without the enable bit, which a pseudo-terminal always drops;
// the next client's odd-parity request then changes nothing and the kernel
// refuses it. A real port keeps the enable bit, so the line clears the
// stray bit whenever a client lets go of the slave side.
void VirtualLine::watchClients()
{
    m_closeWatchFd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_closeWatchFd < 0)
        return;     // no watch: only a reopen after a killed client suffers
    if (::inotify_add_watch(m_closeWatchFd, QFile::encodeName(m_portName).constData(),
                            IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) < 0) {
        ::close(m_closeWatchFd);
        m_closeWatchFd = -1;
        return;
    }
    m_closeNotifier = new QSocketNotifier(m_closeWatchFd, QSocketNotifier::Read, this);
    connect(m_closeNotifier, &QSocketNotifier::activated, this, &VirtualLine::onClientClosed);
}

void VirtualLine::onClientClosed()
{
    char events[4096];
    while (::read(m_closeWatchFd, events, sizeof events) > 0) {
    }
    termios tio {};
    if (m_slaveFd >= 0 && ::tcgetattr(m_slaveFd, &tio) == 0 && !(tio.c_cflag & PARENB)
        && (tio.c_cflag & (PARODD | CMSPAR))) {
        tio.c_cflag &= ~tcflag_t(PARODD | CMSPAR);
        ::tcsetattr(m_slaveFd, TCSANOW, &tio);
    }
    emit clientClosed();
}

bool VirtualLine::isOpen() const { return m_masterFd >= 0; }
QString VirtualLine::portName() const { return m_portName; }
QString VirtualLine::errorString() const { return m_error; }
QString VirtualLine::linkPath() const { return m_linkPath; }

bool VirtualLine::createLink(const QString &linkPath)
{
    if (!isOpen()) {
        m_error = QStringLiteral("line not open");
        return false;
    }
    const QFileInfo existing(linkPath);
    if (existing.isSymLink()) {
        QFile::remove(linkPath); // left behind by a line that did not close
    } else if (existing.exists()) {
        m_error = QStringLiteral("%1 exists and is not a symlink").arg(linkPath);
        return false;
    }
    if (::symlink(QFile::encodeName(m_portName).constData(), QFile::encodeName(linkPath).constData()) != 0) {
        m_error = QStringLiteral("symlink %1: %2").arg(linkPath, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    m_linkPath = linkPath;
    return true;
}

void VirtualLine::vanish()
{
    m_vanishedLinkPath = m_linkPath;
    close();
}

bool VirtualLine::reappear()
{
    if (!open())
        return false;
    const QString path = m_vanishedLinkPath;
    m_vanishedLinkPath.clear();
    return path.isEmpty() || createLink(path);
}

void VirtualLine::setBaud(int baud) { m_baud = qMax(0, baud); }
int VirtualLine::baud() const { return m_baud; }
void VirtualLine::setTurnaroundMs(int ms) { m_turnaroundMs = qMax(0, ms); }
int VirtualLine::turnaroundMs() const { return m_turnaroundMs; }
void VirtualLine::setAnswerPreamble(int count) { m_preamble = qBound(0, count, 255); }
int VirtualLine::answerPreamble() const { return m_preamble; }
void VirtualLine::setChunkGapMs(int ms) { m_chunkGapMs = qMax(0, ms); }

VirtualDevice *VirtualLine::addDevice(uint8_t address)
{
    if (address > MaxAddress)
        return nullptr;
    auto &slot = m_devices[address];
    if (!slot) {
        slot = std::make_unique<VirtualDevice>(address);
        slot->setBench(m_bench);
    }
    return slot.get();
}

void VirtualLine::setBench(double pPlusKPa, double pMinusKPa, double temperatureC)
{
    m_bench = BenchState{pPlusKPa, pMinusKPa, temperatureC};
    for (auto &entry : m_devices)
        entry.second->setBench(m_bench);
}

BenchState VirtualLine::bench() const { return m_bench; }

VirtualDevice *VirtualLine::device(uint8_t address) const
{
    const auto it = m_devices.find(address);
    return it == m_devices.end() ? nullptr : it->second.get();
}

void VirtualLine::removeDevice(uint8_t address) { m_devices.erase(address); }

QList<uint8_t> VirtualLine::addresses() const
{
    QList<uint8_t> list;
    for (const auto &entry : m_devices)
        list.append(entry.first);
    return list;
}

QList<QByteArray> VirtualLine::requests() const { return m_requests; }
void VirtualLine::clearRequests() { m_requests.clear(); }
bool VirtualLine::isTransmitting() const { return !m_outgoing.empty(); }

qint64 VirtualLine::nowNs() const { return m_clock.nsecsElapsed(); }

qint64 VirtualLine::byteTimeNs() const
{
    return m_baud > 0 ? qint64(BitsPerByte) * 1000000000 / m_baud : 0;
}

void VirtualLine::onReadable()
{
    char buf[512];
    QByteArray received;
    for (;;) {
        const ssize_t n = ::read(m_masterFd, buf, sizeof buf);
        if (n > 0) {
            received.append(buf, int(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
            // Hang-up or I/O error (should not happen while we hold the
            // slave): back off instead of spinning on a notifier that
            // keeps firing.
            m_readNotifier->setEnabled(false);
            m_readRetryTimer->start();
        }
        break;
    }
    if (received.isEmpty())
        return;
    if (m_framer.pendingBytes() == 0)
        strayAt(StrayMoment::RequestStart);
    const auto frames = m_framer.feed(received, nowNs() / NsPerMs);
    for (const auto &frame : frames) {
        handleFrame(frame);
        if (!isOpen()) // a slot connected to our signals closed the line
            return;
    }
}

void VirtualLine::handleFrame(const RequestFramer::Frame &frame)
{
    m_requests.append(frame.raw);
    if (m_requests.size() > MaxRequestsKept)
        m_requests.removeFirst();
    emit requestReceived(frame.raw);
    strayAt(StrayMoment::RequestComplete);
    // A device cannot trust the address of a damaged frame: it stays silent.
    if (!frame.checksumOk || !isOpen())
        return;
    for (const auto &entry : m_devices) {
        VirtualDevice *dev = entry.second.get();
        if (!dev->isAddressedBy(frame.request))
            continue;
        ++dev->requestsSeen;
        if (dev->writesBeforeCut == 0)
            return;
        if (dev->writesBeforeCut > 0 && frame.request.command == 91)
            --dev->writesBeforeCut;
        if (dev->silentFor > 0) {
            --dev->silentFor;
            return;
        }
        queueAnswer(dev, frame.request);
        return;
    }
}

void VirtualLine::setLineFaults(const LineFaults &faults) { m_faults = faults; }
int VirtualLine::answersGiven() const { return m_answersGiven; }

void VirtualLine::queueAnswer(VirtualDevice *dev, const Request &request)
{
    QByteArray body = dev->answer(request);
    ++dev->answersGiven;
    const int given = ++m_answersGiven;
    const auto hits = [given](int every) { return every > 0 && given % every == 0; };
    if (hits(m_faults.dropEvery))
        return;
    // body: delimiter, address (1 or 5 bytes), command, byte count, ...
    const int addressLength = request.longFrame ? 5 : 1;
    bool rewritten = false;
    if (dev->hits(dev->otherAddress)) {
        const int stray = dev->strayAddress >= 0 ? dev->strayAddress : (dev->address() + 1) % (MaxAddress + 1);
        body[1 + (request.longFrame ? 2 : 0)] = char(stray);
        rewritten = true;
    }
    if (dev->hits(dev->echoAddressBits)) {
        body[1] = char(uint8_t(body.at(1)) | dev->echoedBits);
        rewritten = true;
    }
    if (dev->hits(dev->otherCommand)) {
        const int stray = dev->strayCommand >= 0 ? dev->strayCommand : (request.command ^ 0x01);
        body[1 + addressLength] = char(stray);
        rewritten = true;
    }
    if (rewritten) {
        char sum = 0;
        for (int i = 0; i < body.size() - 1; ++i)
            sum ^= body.at(i);
        body[body.size() - 1] = sum;
    }
    if (dev->corruptNextChecksum || hits(m_faults.corruptEvery)) {
        body[body.size() - 1] = char(body.at(body.size() - 1) ^ 0xFF);
        dev->corruptNextChecksum = false;
    }
    if (hits(m_faults.noiseEvery))
        dev->noiseBeforeNext.prepend(m_faults.noise);
    int lateMs = dev->hits(dev->late) ? qMax(0, dev->lateByMs) : 0;
    if (hits(m_faults.lateEvery))
        lateMs += qMax(0, m_faults.lateMs);
    const bool twice = dev->hits(dev->duplicate);

    Outgoing out;
    out.frame = QByteArray(m_preamble, char(0xFF)) + body;
    out.chunks = splitInto(dev->noiseBeforeNext + out.frame, dev->splitNextAnswer);
    dev->noiseBeforeNext.clear();
    dev->splitNextAnswer.clear();
    out.earliestNs = nowNs() + qint64(m_turnaroundMs + qMax(0, dev->answerDelayMs) + lateMs) * NsPerMs;
    if (twice) {
        Outgoing again;
        again.frame = out.frame;
        again.chunks = {out.frame};
        again.earliestNs = out.earliestNs;
        enqueueOutgoing(std::move(out));
        enqueueOutgoing(std::move(again));
    } else {
        enqueueOutgoing(std::move(out));
    }
}

void VirtualLine::sendRaw(const QByteArray &bytes)
{
    if (!isOpen() || bytes.isEmpty())
        return;
    Outgoing out;
    out.frame = bytes;
    out.chunks = {bytes};
    out.earliestNs = nowNs();
    enqueueOutgoing(std::move(out));
}

void VirtualLine::setStrayBytes(const QByteArray &bytes, StrayMoment when, int times)
{
    m_stray = bytes;
    m_strayMoment = bytes.isEmpty() ? StrayMoment::Never : when;
    m_strayTimes = times;
}

void VirtualLine::rtsRaised() { strayAt(StrayMoment::RtsRaised); }

void VirtualLine::strayAt(StrayMoment moment)
{
    if (moment != m_strayMoment || m_strayTimes == 0)
        return;
    if (m_strayTimes > 0)
        --m_strayTimes;
    sendRaw(m_stray);
}

void VirtualLine::enqueueOutgoing(Outgoing out)
{
    // Answers go out in the order they fall due, so one that comes late does
    // not hold up the answers to later requests; the one on the wire is
    // never interrupted (the line is half duplex).
    const bool frontOnWire = m_active && (m_sentTotal > 0 || m_chunk > 0 || m_offset > 0);
    auto it = m_outgoing.begin();
    if (frontOnWire)
        ++it;
    while (it != m_outgoing.end() && it->earliestNs <= out.earliestNs)
        ++it;
    if (it == m_outgoing.begin())
        m_active = false;   // the new answer goes first: the front waits again
    m_outgoing.insert(it, std::move(out));
    if (!m_active)
        pump();
}

bool VirtualLine::writeSome(const char *data, int size, int *written)
{
    *written = 0;
    while (*written < size) {
        const ssize_t n = ::write(m_masterFd, data + *written, size_t(size - *written));
        if (n > 0) {
            *written += int(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        return false; // full (the client is not reading) or gone
    }
    return true;
}

void VirtualLine::onWritable()
{
    m_writeNotifier->setEnabled(false);
    pump();
}

void VirtualLine::scheduleAt(qint64 dueNs)
{
    const qint64 waitNs = dueNs - nowNs();
    const int ms = waitNs <= 0 ? 0 : int((waitNs + NsPerMs - 1) / NsPerMs);
    m_pumpTimer->start(ms);
}

// Sends every byte that is due. Deadlines are absolute (counted from the
// start of the answer), so a late wake-up sends the bytes that fell due in
// the meantime and the timing never drifts.
void VirtualLine::pump()
{
    m_pumpTimer->stop();
    while (isOpen() && !m_outgoing.empty()) {
        Outgoing &out = m_outgoing.front();
        const qint64 now = nowNs();
        if (!m_active) {
            m_startNs = qMax(out.earliestNs, m_lineFreeNs);
            m_chunk = m_offset = m_sentTotal = 0;
            m_active = true;
        }
        if (now < m_startNs) {
            scheduleAt(m_startNs);
            return;
        }
        int total = 0;
        for (const QByteArray &c : qAsConst(out.chunks))
            total += c.size();
        const qint64 byteNs = byteTimeNs();

        // How much of the answer may be on the line by now.
        int due;
        qint64 nextDue = 0;
        if (byteNs > 0) {
            due = int(qMin<qint64>(total, (now - m_startNs) / byteNs));
            nextDue = m_startNs + qint64(due + 1) * byteNs;
        } else {
            const int chunksDue = int(qMin<qint64>(out.chunks.size(),
                m_chunkGapMs > 0 ? (now - m_startNs) / (m_chunkGapMs * NsPerMs) + 1 : out.chunks.size()));
            due = 0;
            for (int i = 0; i < chunksDue; ++i)
                due += out.chunks.at(i).size();
            nextDue = m_startNs + qint64(chunksDue) * m_chunkGapMs * NsPerMs;
        }

        // One write per chunk piece, so split answers reach the reader in
        // separate reads.
        while (m_sentTotal < due) {
            const QByteArray &chunk = out.chunks.at(m_chunk);
            const int size = qMin(due - m_sentTotal, chunk.size() - m_offset);
            int written = 0;
            const bool complete = writeSome(chunk.constData() + m_offset, size, &written);
            m_offset += written;
            m_sentTotal += written;
            if (m_offset == chunk.size()) {
                ++m_chunk;
                m_offset = 0;
            }
            if (!complete) {
                if (errno == EAGAIN || errno == EWOULDBLOCK)
                    m_writeNotifier->setEnabled(true);
                else
                    m_pumpTimer->start(50);
                return;
            }
        }

        if (m_sentTotal < total) {
            scheduleAt(nextDue);
            return;
        }
        m_lineFreeNs = byteNs > 0 ? m_startNs + qint64(total) * byteNs : now;
        const QByteArray frame = out.frame;
        m_outgoing.pop_front();
        m_active = false;
        emit answerSent(frame);
    }
}

} // namespace sim
