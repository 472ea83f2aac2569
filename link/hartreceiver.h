#pragma once
// Answer framing: finds one answer frame in the byte stream, however the bytes
// are split across reads. The buffer it fills always holds a normalised frame
// (exactly the counted preamble bytes, the delimiter and what followed).
//
// Framing errors are written, when the link's logging category is enabled
// for debug messages, to the standard error stream; the byte that caused one
// is dropped and preamble counting starts again, so a good frame later in
// the stream is still found.
//
// A frame start can be noise: line noise that holds 0xFF bytes and a
// delimiter, or the head of a frame torn off mid-way, begins a frame whose
// byte count then swallows the real answer behind it. So while a frame is
// being received, the bytes after its delimiter are hunted for another
// preamble and delimiter as well. The frame begun later is taken instead
// when it completes with a good checksum first, or when the earlier one
// completes with a bad checksum: a noise burst costs no answer that arrived
// whole after it.
//
// After one frame has completed, further bytes fed with feed() are kept in
// the buffer but never complete a second frame until reset() or huntOn().
// feedUntilComplete() stops right after a completing byte instead, so a
// caller can take the frame, hunt on, and go on with the rest of its bytes.

#include "link/hartanswer.h"

#include <QByteArray>
#include <array>
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
    // How many frame starts, one inside the other, are followed at once.
    static constexpr int MaxNesting = 4;

    // The exact texts of the framing errors.
    static const char *errorText(Error e);

    HartReceiver();

    void reset();
    // Drops the completed frame and hunts on. When that frame was damaged,
    // a preamble that had begun inside it still counts.
    void huntOn();
    // Feeds a chunk. Returns true when this chunk completed the frame; that
    // happens at most once between two resets.
    bool feed(const char *data, int size);
    bool feed(const QByteArray &chunk) { return feed(chunk.constData(), chunk.size()); }
    bool feedByte(uint8_t c);
    // Feeds until a frame completes or the bytes run out; returns how many
    // bytes were taken and sets *complete when the last of them completed a
    // frame.
    int feedUntilComplete(const char *data, int size, bool *complete);

    bool isComplete() const { return m_hunts[0].complete; }
    // True while a frame is being received: its preamble has begun and it
    // has not completed (nor been dropped by a framing error).
    bool isMidFrame() const
    {
        return m_hunts[0].frameStarted ? !m_hunts[0].complete : m_hunts[0].preambleCounter > 0;
    }
    // Counts the frames begun (first preamble byte) since construction, reset()
    // or not.
    int startCount() const { return m_startCount; }
    // Counts the delimiters taken since construction, also those of frame
    // starts inside another frame: a frame has begun, as far as anyone can
    // tell, only when its delimiter has come. Preamble bytes before it are
    // indistinguishable from noise on the line.
    int delimiterCount() const { return m_delimiterCount; }
    // The number (as delimiterCount counted it) of the frame being received
    // or just completed; 0 before a delimiter.
    int frameNumber() const { return m_hunts[0].number; }
    bool isFrameStarted() const { return m_hunts[0].frameStarted; }
    // The normalised frame, followed by anything that came after it.
    const QByteArray &buffer() const { return m_hunts[0].buffer; }
    // The completed frame alone, parsed. Invalid before completion.
    HartAnswer answer() const;

    // Off for the fuzzer and the benchmark, which feed noise by design.
    void setDiagnosticsEnabled(bool on) { m_diagnostics = on; }
    Error lastError() const { return m_lastError; }
    int errorCount(Error e) const;

private:
    // One frame hunted for. m_hunts[0] is the frame the receiver reports;
    // while the frame of m_hunts[k] is under way, m_hunts[k + 1] hunts the
    // bytes after its delimiter for a frame that begins inside it.
    struct Hunt
    {
        QByteArray buffer;
        int preambleCounter = 0;
        int headerIndex = 0;
        int expectedLength = 0;
        int number = 0;
        bool runTooLong = false;
        bool frameStarted = false;
        bool complete = false;

        bool checksumOk() const;
        // True when the next byte cannot start anything in this hunt: no
        // preamble has begun and no frame is under way.
        bool idle() const { return !frameStarted && preambleCounter == 0; }
    };

    void report(Error e);
    // Feeds one byte to hunt k; true when it completed that hunt's frame.
    bool feedHunt(int k, uint8_t c);
    // Forgets hunt k and whatever had begun inside it.
    void clearHunt(int k);
    // Drops hunt k's frame start for the one begun inside it (or for
    // nothing), as hunt k + 1 has it.
    void giveUp(int k);
    // The hunt inside hunt k's frame; null when there is none.
    Hunt *innerOf(int k) { return k + 1 < m_huntsInUse ? &m_hunts[k + 1] : nullptr; }
    bool innerIdle(int k) const { return k + 1 >= m_huntsInUse || m_hunts[k + 1].idle(); }

    std::array<Hunt, MaxNesting> m_hunts;
    // Hunts 0 .. m_huntsInUse - 1 are in use. A hunt takes the next one
    // into use when its frame starts; giving up moves the ones inside out
    // by one, and the last is out of use until a frame starts again.
    int m_huntsInUse = 1;
    int m_startCount = 0;
    int m_delimiterCount = 0;
    bool m_diagnostics = true;
    Error m_lastError = NoError;
    int m_errorCounts[4] = {0, 0, 0, 0};
};
