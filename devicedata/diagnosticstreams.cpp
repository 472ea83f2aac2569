#include "devicedata/diagnosticstreams.h"

#include <iostream>

namespace {

class StandardStreams : public DiagnosticStreams
{
public:
    void out(const QByteArray &text) override
    {
        std::cout.write(text.constData(), text.size());
    }
    void err(const QByteArray &text) override
    {
        std::cerr.write(text.constData(), text.size());
    }
};

class DiscardStreams : public DiagnosticStreams
{
public:
    void out(const QByteArray &) override {}
    void err(const QByteArray &) override {}
};

} // namespace

DiagnosticStreams &DiagnosticStreams::standard()
{
    static StandardStreams s;
    return s;
}

DiagnosticStreams &DiagnosticStreams::discard()
{
    static DiscardStreams s;
    return s;
}
