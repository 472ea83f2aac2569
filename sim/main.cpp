// tesmar-sim: the virtual transmitter line as a program of its own, for
// trying Tesmar (or any HART master) without hardware. Prints the slave
// path of the pseudo-terminal on one line once the line is up and runs
// until SIGINT or SIGTERM, removing its symlink on the way out.
//
// With --sensor the transmitters measure a bench (pressures and a
// temperature) through a sensor model and compute their pressure from their
// coefficient registers, and state their cell (0x00F8, high byte) as a
// factory-fresh unit does; with --control the bench is set from standard
// input, one command a line:
//   P+ 25      plus chamber, kPa        P- 0     minus chamber, kPa
//   P 25       both chambers            T -40    temperature, degrees C
//   ?          print the bench and what every transmitter reads

#include "sim/virtualline.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QStringList>
#include <QTextStream>

#include <cmath>
#include <csignal>
#include <memory>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    // Nothing but write() is safe here; the event loop does the rest.
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
}

bool installSignalHandlers()
{
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    return ::sigaction(SIGINT, &sa, nullptr) == 0 && ::sigaction(SIGTERM, &sa, nullptr) == 0;
}

int fail(const QString &message)
{
    std::fprintf(stderr, "tesmar-sim: %s\n", qPrintable(message));
    return 2;
}

void printBench(sim::VirtualLine &line)
{
    const sim::BenchState b = line.bench();
    std::fprintf(stderr, "tesmar-sim: bench P+ %g kPa, P- %g kPa, T %g C\n", b.pPlusKPa,
                 b.pMinusKPa, b.temperatureC);
    for (uint8_t address : line.addresses()) {
        sim::VirtualDevice *dev = line.device(address);
        dev->measureNow();
        std::fprintf(stderr, "tesmar-sim:   device %d: %.4f %.4f %.4f %.4f, P %.4f kPa, I %.3f mA\n",
                     address, dev->variables[0], dev->variables[1], dev->variables[2],
                     dev->variables[3], dev->pressure, dev->current);
    }
}

// One line of the bench control channel; false when it is not understood.
bool applyControl(sim::VirtualLine &line, const QString &text)
{
    const QStringList parts = text.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (parts.isEmpty())
        return true;
    if (parts.size() == 1 && (parts[0] == QLatin1String("?") || parts[0] == QLatin1String("show"))) {
        printBench(line);
        return true;
    }
    bool ok = false;
    const double value = parts.size() == 2 ? parts[1].toDouble(&ok) : 0.0;
    if (!ok)
        return false;
    sim::BenchState b = line.bench();
    const QString key = parts[0].toUpper();
    if (key == QLatin1String("P+"))
        b.pPlusKPa = value;
    else if (key == QLatin1String("P-"))
        b.pMinusKPa = value;
    else if (key == QLatin1String("P"))
        b.pPlusKPa = b.pMinusKPa = value;
    else if (key == QLatin1String("T"))
        b.temperatureC = value;
    else
        return false;
    line.setBench(b.pPlusKPa, b.pMinusKPa, b.temperatureC);
    printBench(line);
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tesmar-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TESMAR_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Virtual line of HART pressure transmitters on a pseudo-terminal."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption devicesOpt(QStringLiteral("devices"),
        QStringLiteral("Short addresses 0..15 of the transmitters, comma separated (default 1)."),
        QStringLiteral("list"), QStringLiteral("1"));
    const QCommandLineOption linkOpt(QStringLiteral("link"),
        QStringLiteral("Create a symlink to the slave side at this path (removed on exit)."),
        QStringLiteral("path"));
    const QCommandLineOption baudOpt(QStringLiteral("baud"),
        QStringLiteral("Pace the answers at this baud rate, 11 bits a byte; 0 = instant (default 1200)."),
        QStringLiteral("N"), QStringLiteral("1200"));
    const QCommandLineOption turnaroundOpt(QStringLiteral("turnaround"),
        QStringLiteral("Delay in ms between a request and its answer (default 20)."),
        QStringLiteral("MS"), QStringLiteral("20"));
    const QCommandLineOption preambleOpt(QStringLiteral("preamble"),
        QStringLiteral("Number of 0xFF bytes in front of every answer (default 5)."),
        QStringLiteral("N"), QStringLiteral("5"));
    const QCommandLineOption sensorOpt(QStringLiteral("sensor"),
        QStringLiteral("Give the transmitters a sensor: %1 (default none: fixed readings).")
            .arg(sim::SensorModel::names().join(QStringLiteral(", "))),
        QStringLiteral("kind"));
    const QCommandLineOption rangeOpt(QStringLiteral("range"),
        QStringLiteral("Rated range (Pmax) of the sensors, kPa, 0.25 and up (default 100)."),
        QStringLiteral("kPa"), QStringLiteral("100"));
    const QCommandLineOption pressureOpt(QStringLiteral("pressure"),
        QStringLiteral("Bench pressure on the plus chamber, kPa (default 0)."), QStringLiteral("kPa"),
        QStringLiteral("0"));
    const QCommandLineOption pressureMinusOpt(QStringLiteral("pressure-minus"),
        QStringLiteral("Bench pressure on the minus chamber, kPa (default 0)."), QStringLiteral("kPa"),
        QStringLiteral("0"));
    const QCommandLineOption temperatureOpt(QStringLiteral("temperature"),
        QStringLiteral("Bench temperature, degrees C (default 23)."), QStringLiteral("C"),
        QStringLiteral("23"));
    const QCommandLineOption seedOpt(QStringLiteral("seed"),
        QStringLiteral("Noise seed of the first transmitter; the others take the next ones (default 1)."),
        QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption controlOpt(QStringLiteral("control"),
        QStringLiteral("Read bench commands from standard input (P+ kPa, P- kPa, P kPa, T C, ?)."));
    // Faults of a misbehaving line, for every transmitter.
    const QCommandLineOption lateEveryOpt(QStringLiteral("late-every"),
        QStringLiteral("Every N-th answer of a transmitter comes --late-ms later (default 0: never)."),
        QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption lateMsOpt(QStringLiteral("late-ms"),
        QStringLiteral("How much later a late answer comes, ms (default 1500)."), QStringLiteral("MS"),
        QStringLiteral("1500"));
    const QCommandLineOption duplicateEveryOpt(QStringLiteral("duplicate-every"),
        QStringLiteral("Every N-th answer of a transmitter goes out twice (default 0: never)."),
        QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption otherAddressEveryOpt(QStringLiteral("other-address-every"),
        QStringLiteral("Every N-th answer of a transmitter names the next address (default 0: never)."),
        QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption otherCommandEveryOpt(QStringLiteral("other-command-every"),
        QStringLiteral("Every N-th answer of a transmitter names another command (default 0: never)."),
        QStringLiteral("N"), QStringLiteral("0"));
    parser.addOptions({devicesOpt, linkOpt, baudOpt, turnaroundOpt, preambleOpt, sensorOpt, rangeOpt, pressureOpt,
                       pressureMinusOpt, temperatureOpt, seedOpt, controlOpt, lateEveryOpt, lateMsOpt,
                       duplicateEveryOpt, otherAddressEveryOpt, otherCommandEveryOpt});
    parser.process(app);

    QList<uint8_t> addresses;
    for (const QString &item : parser.value(devicesOpt).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        bool ok = false;
        const int address = item.trimmed().toInt(&ok, 0);
        if (!ok || address < 0 || address > 15)
            return fail(QStringLiteral("not a short address 0..15: '%1'").arg(item));
        if (!addresses.contains(uint8_t(address)))
            addresses.append(uint8_t(address));
    }
    if (addresses.isEmpty())
        return fail(QStringLiteral("--devices needs at least one address"));

    const auto number = [&parser](const QCommandLineOption &opt, int *out) {
        bool ok = false;
        *out = parser.value(opt).toInt(&ok);
        return ok && *out >= 0;
    };
    int baud = 0, turnaround = 0, preamble = 0;
    if (!number(baudOpt, &baud))
        return fail(QStringLiteral("--baud needs a number >= 0"));
    if (!number(turnaroundOpt, &turnaround))
        return fail(QStringLiteral("--turnaround needs a number of ms >= 0"));
    if (!number(preambleOpt, &preamble) || preamble > 255)
        return fail(QStringLiteral("--preamble needs a number 0..255"));
    int lateEvery = 0, lateMs = 0, duplicateEvery = 0, otherAddressEvery = 0, otherCommandEvery = 0;
    const std::pair<const QCommandLineOption *, int *> faults[] = {
        {&lateEveryOpt, &lateEvery}, {&lateMsOpt, &lateMs}, {&duplicateEveryOpt, &duplicateEvery},
        {&otherAddressEveryOpt, &otherAddressEvery}, {&otherCommandEveryOpt, &otherCommandEvery}};
    for (const auto &f : faults) {
        if (!number(*f.first, f.second))
            return fail(QStringLiteral("--%1 needs a number >= 0").arg(f.first->names().first()));
    }

    bool sensorWanted = parser.isSet(sensorOpt);
    sim::SensorModel::Kind sensorKind = sim::SensorModel::Kind::TwoGauge;
    if (sensorWanted && !sim::SensorModel::kindFromName(parser.value(sensorOpt), &sensorKind)) {
        if (parser.value(sensorOpt) != QLatin1String("none"))
            return fail(QStringLiteral("--sensor needs one of: none, %1")
                            .arg(sim::SensorModel::names().join(QStringLiteral(", "))));
        sensorWanted = false;
    }
    double bench[3] = {0, 0, 0};
    const QCommandLineOption *benchOpts[3] = {&pressureOpt, &pressureMinusOpt, &temperatureOpt};
    for (int i = 0; i < 3; ++i) {
        bool ok = false;
        bench[i] = parser.value(*benchOpts[i]).toDouble(&ok);
        if (!ok)
            return fail(QStringLiteral("--%1 needs a number").arg(benchOpts[i]->names().first()));
    }
    bool rangeOk = false;
    const double rangeKPa = parser.value(rangeOpt).toDouble(&rangeOk);
    if (!rangeOk || !(rangeKPa > 0) || !std::isfinite(rangeKPa))
        return fail(QStringLiteral("--range needs a number of kPa > 0"));
    bool seedOk = false;
    const uint seed = parser.value(seedOpt).toUInt(&seedOk);
    if (!seedOk)
        return fail(QStringLiteral("--seed needs a number >= 0"));

    if (!installSignalHandlers())
        return fail(QStringLiteral("cannot install signal handlers"));
    QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, [] {
        char buf[16];
        while (::read(signalPipe[0], buf, sizeof buf) > 0) {
        }
        QCoreApplication::quit();
    });

    sim::VirtualLine line;
    line.setBaud(baud);
    line.setTurnaroundMs(turnaround);
    line.setAnswerPreamble(preamble);
    line.setBench(bench[0], bench[1], bench[2]);
    uint32_t nextSeed = seed;
    for (uint8_t address : qAsConst(addresses)) {
        sim::VirtualDevice *dev = line.addDevice(address);
        dev->late.every = lateEvery;
        dev->lateByMs = lateMs;
        dev->duplicate.every = duplicateEvery;
        dev->otherAddress.every = otherAddressEvery;
        dev->otherCommand.every = otherCommandEvery;
        if (sensorWanted) {
            sim::SensorModel sensor = sim::SensorModel::make(sensorKind, nextSeed++);
            sensor.setRatedPmaxPa(float(rangeKPa * 1000.0));
            dev->setSensor(sensor);
        }
    }
    if (!line.open())
        return fail(line.errorString());
    const QString link = parser.value(linkOpt);
    if (!link.isEmpty() && !line.createLink(link))
        return fail(line.errorString());

    QStringList shown;
    for (uint8_t address : qAsConst(addresses))
        shown.append(QString::number(address));
    std::fprintf(stderr, "tesmar-sim: devices %s at %s on %s%s\n", qPrintable(shown.join(QLatin1Char(','))),
                 baud > 0 ? qPrintable(QStringLiteral("%1 baud").arg(baud)) : "no pacing",
                 qPrintable(line.portName()),
                 link.isEmpty() ? "" : qPrintable(QStringLiteral(" (link %1)").arg(link)));
    std::fprintf(stdout, "%s\n", qPrintable(line.portName()));
    std::fflush(stdout);

    std::unique_ptr<QSocketNotifier> controlNotifier;
    if (parser.isSet(controlOpt)) {
        controlNotifier = std::make_unique<QSocketNotifier>(STDIN_FILENO, QSocketNotifier::Read);
        QObject::connect(controlNotifier.get(), &QSocketNotifier::activated, &app,
                         [&line, &controlNotifier] {
            // One read per wake-up; lines may arrive split across reads.
            static QByteArray pending;
            char buf[256];
            const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
            if (n <= 0) {
                controlNotifier->setEnabled(false);   // end of input: the line runs on
                return;
            }
            pending.append(buf, int(n));
            int nl;
            while ((nl = pending.indexOf('\n')) >= 0) {
                const QString command = QString::fromUtf8(pending.left(nl));
                pending.remove(0, nl + 1);
                if (!applyControl(line, command))
                    std::fprintf(stderr, "tesmar-sim: not understood: '%s'\n",
                                 qPrintable(command.trimmed()));
            }
        });
    }

    const int rc = app.exec();
    line.close();
    return rc;
}
