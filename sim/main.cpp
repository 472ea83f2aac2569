// tesmar-sim: the virtual transmitter line as a program of its own, for
// trying Tesmar (or any HART master) without hardware. Prints the slave
// path of the pseudo-terminal on one line once the line is up and runs
// until SIGINT or SIGTERM, removing its symlink on the way out.

#include "sim/virtualline.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QStringList>

#include <csignal>
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

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tesmar-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Virtual line of HART pressure transmitters on a pseudo-terminal."));
    parser.addHelpOption();
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
    parser.addOptions({devicesOpt, linkOpt, baudOpt, turnaroundOpt, preambleOpt});
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
    for (uint8_t address : qAsConst(addresses))
        line.addDevice(address);
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

    const int rc = app.exec();
    line.close();
    return rc;
}
