#pragma once
// A link on the virtual line as on a real RS-485 converter: no flow control,
// so RTS is raised by hand before each request, and the line hears the RTS
// edge (a pseudo-terminal carries none). With the line's stray-byte knob the
// converter's noise lands in the RTS lead, before the request is written.

#include "link/protocolcomhart.h"
#include "sim/virtualline.h"

#include <QObject>

namespace realline {

inline void driveRtsByHand(protocolComHart *link, sim::VirtualLine *line)
{
    link->serialConfig().flowControl = 0;
    link->serialConfig().rtsDelay = 0;
    if (link->isPortOpen())
        link->configurePort();
    QObject::connect(link, &protocolComHart::rtsChanged, line, [line](bool on) {
        if (on)
            line->rtsRaised();
    });
}

// What the stray-byte rows put on the line.
inline QByteArray strayBytes(const char *name)
{
    const QByteArray n(name);
    if (n == "one 0xFF")
        return QByteArray(1, '\xff');
    if (n == "0xFF run")
        return QByteArray(25, '\xff');       // longer than any preamble
    if (n == "noise")
        return QByteArray::fromHex("0013a5ff37");   // no delimiter in it
    return QByteArray::fromHex("ffff55");
}

} // namespace realline
