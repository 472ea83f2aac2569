#pragma once
// Answer framing: finds one answer frame in the byte stream, however the bytes
// are split across reads. The buffer it fills always holds a normalised frame
// (exactly the counted preamble bytes, the delimiter and what followed).
//
// Framing errors are written to the standard error stream; the byte that
// caused one is dropped and preamble counting starts again, so a good frame
// later in the stream is still found. After one frame has completed, further
// bytes fed with feed() are kept in the buffer but never complete a second
// frame until reset(). feedUntilComplete() stops right after a completing
// byte instead, so a caller can take the frame, reset, and hunt on in the
// rest of its bytes.

#include "link/hartanswer.h"

#include <QByteArray>
#include <cstdint>

class HartReceiver
{
public:
    enum Error {
        NoError,
        PreambleTooLong,    // a 21st 0xFF before the delimiter (reported once a run;
                            // the run's last 20 bytes still make a preamble)
        PreambleTooShort,   // a delimiter (or any other byte) after 2 or fewer 0xFF
        WrongDelimiter,     // neither 0x02 nor 0x82 after a valid preamble
    };

    static constexpr int MaxPreamble = 20;
    static constexpr int MinPreamble = 3;
    // Cap on what the buffer keeps: the longest frame this framing can
    // complete is 20 + 11 + 127 bytes; bytes beyond the cap are dropped so a
    // noisy line cannot grow the buffer without bound between transmissions.
    static constexpr int MaxBuffer = 512;

    // The exact texts written to the standard error stream.
    static const char *errorText(Error e);

    HartReceiver();

    void reset();
    // Feeds a chunk. Returns true when this chunk completed the frame; that
    // happens at most once between two resets.
    bool feed(const char *data, int size);
    bool feed(const QByteArray &chunk) { return feed(chunk.constData(), chunk.size()); }
    bool feedByte(uint8_t c);
    // Feeds until a frame completes or the bytes run out; returns how many
    // bytes were taken and sets *complete when the last of them completed a
    // frame.
    int feedUntilComplete(const char *data, int size, bool *complete);

    bool isComplete() const { return m_complete; }
    // True while a frame is being received: its preamble has begun and it
    // has not completed (nor been dropped by a framing error).
    bool isMidFrame() const
    {
        return m_frameStarted ? !m_complete : m_preambleCounter > 0;
    }
    // Counts the frames begun (first preamble byte) since construction, reset()
    // or not: the frame in progress, or the one just completed, is number
    // startCount().
    int startCount() const { return m_startCount; }
    // Counts the delimiters taken since construction: a frame has begun, as
    // far as anyone can tell, only when its delimiter has come. Preamble
    // bytes before it are indistinguishable from noise on the line.
    int delimiterCount() const { return m_delimiterCount; }
    bool isFrameStarted() const { return m_frameStarted; }
    // The normalised frame, followed by anything that came after it.
    const QByteArray &buffer() const { return m_buffer; }
    // The completed frame alone, parsed. Invalid before completion.
    HartAnswer answer() const;

    // Off for the fuzzer and the benchmark, which feed noise by design.
    void setDiagnosticsEnabled(bool on) { m_diagnostics = on; }
    Error lastError() const { return m_lastError; }
    int errorCount(Error e) const;

private:
    void report(Error e);
    void fail(Error e);

    QByteArray m_buffer;
    int m_preambleCounter = 0;
    int m_headerIndex = 0;
    int m_expectedLength = 0;
    int m_startCount = 0;
    int m_delimiterCount = 0;
    bool m_runTooLong = false;
    bool m_frameStarted = false;
    bool m_complete = false;
    bool m_diagnostics = true;
    Error m_lastError = NoError;
    int m_errorCounts[4] = {0, 0, 0, 0};
};
