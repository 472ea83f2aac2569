#pragma once
// The device operation catalogue: one descriptor per operation code, saying
// which slot runs it, what it sends, how it is sent and how its answer is
// shown. The slots of the calibration, device and coefficient tabs stay thin:
// they collect the widgets a descriptor names, let DeviceOperations build the
// requests, and apply the widget actions it returns for each answer.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>
#include <cstdint>

// Where a success message goes. With both panes, only the calibration pane
// gets the success colour; the device pane keeps whatever colour it has.
enum class StatusPane { None, Calibration, Device, CalibrationAndDevice };

// Backgrounds of the coefficient fields: white, green (device confirmed) or
// red (the write failed its checksum). Text is black in all three.
enum class FieldPalette { Neutral = 0, Confirmed = 1, Failed = 2 };

enum class RequestKind {
    Single,   // sendFrame with the one request
    Queued,   // enqueue every request, startQueue(false)
    Cyclic    // enqueue, startQueue(true): repeats once per period until stopped
};

// How a slot reads a widget named by a descriptor.
enum class InputSource {
    Text,       // QLineEdit / QComboBox current text
    Value,      // QSpinBox, QDoubleSpinBox, QSlider value
    ItemData,   // QComboBox current item data
    CheckState  // QCheckBox / QRadioButton: 0 unchecked, 1 partly, 2 checked
};

struct InputSpec
{
    QString widget;       // object name
    InputSource source;
};

// One thing the GUI does with a widget, in order.
struct WidgetAction
{
    enum Kind {
        SetText,            // target line edit / label / button: value is the text
        SetValue,           // spin box or slider: value is int or double
        SetValueAndNotify,  // slider: setValue, then emit valueChanged(value) even if
                            // the slider clamped or kept it, so its label follows
        SetCurrentIndex,    // combo box index
        SelectItemText,     // combo box: select the item whose text is value
        SetPalette,         // value is an int FieldPalette
        SetEnabled,         // value is a bool
        AppendStatus,       // status pane: successColour sets RGB(7,158,0) first, then a
                            // non-empty value is appended and the pane scrolls to the end
        ErrorLine           // value is a line for the standard error stream
    };
    Kind kind;
    QString target;
    QVariant value;
    bool successColour = false;

    bool operator==(const WidgetAction &o) const
    {
        return kind == o.kind && target == o.target && value == o.value && successColour == o.successColour;
    }
};
using WidgetActions = QVector<WidgetAction>;

// One request of an operation: a HART command and its data bytes (register
// address and count for 51, register address and payload for 91, nothing for
// 36, 37, 42 and 43).
struct RequestItem
{
    int command = 0;
    QByteArray data;

    // Command 51 for count bytes from reg; command 91 of payload at reg.
    static RequestItem read(uint16_t reg, int count);
    static RequestItem write(uint16_t reg, const QByteArray &payload);
};

// Operator input an operation does not send: a text that is not the number
// its field takes. The field turns red and the operation sends nothing.
struct InputRefusal
{
    QString widget;   // object name of the field
    QString text;     // "«caption»: why", naming the field
};

struct OperationRequest
{
    int code = 0;
    bool valid = false;              // false: code unknown or built elsewhere
    RequestKind kind = RequestKind::Single;
    int fixedPeriodMs = 0;           // 0: the poll period
    QVector<RequestItem> items;
    // Applied after the port check and clearQueue, before sending: clearing
    // and palettes of fields, captions, conversion diagnostics.
    WidgetActions before;
    // The pressure query's second press: clear the queue and stop, send nothing.
    bool stopOnly = false;
    // Fields whose text was refused; when there is any, nothing is sent
    // (items stays empty) and `before` paints them red.
    QVector<InputRefusal> refusals;

    bool refused() const { return !refusals.isEmpty(); }
    // The message for the status bar and the pane: every refused field named.
    QString refusalText() const;

    // Nothing to send holds no lock: an empty write column would otherwise
    // leave the window disabled with no answer ever coming to release it.
    bool takesBusyLock() const { return valid && !items.isEmpty() && !refused(); }
    int periodMs(int pollPeriod) const { return fixedPeriodMs > 0 ? fixedPeriodMs : pollPeriod; }

    // Address bytes of a device: 0x0F, 0x02, address, 0xFD, 0xEF for a long
    // frame, the address alone for a short one.
    static QByteArray addressBytes(uint8_t address, bool longFrame);

    // Frames of every item for the given addressing (address: the five bytes
    // of a long address, or one byte). Returns false and says why when a
    // frame does not fit the frame buffer.
    bool frames(int preamble, bool longFrame, const QByteArray &address, QVector<QByteArray> *out,
                QString *error = nullptr) const;
};

// The answer as the link reports it.
struct OperationAnswer
{
    int code = 0;
    QByteArray requestData;   // data bytes of the request answered
    QByteArray data;          // answer data after the two status bytes
    bool checksumOk = false;
};

struct AnswerResult
{
    WidgetActions actions;
    int followUp = 0;         // operation the GUI starts next (save chain), 0 none

    // Convenience views for callers and tests.
    QStringList messages(const QString &pane = QString()) const;
    QStringList errorLines() const;
    QVariant valueOf(const QString &target, WidgetAction::Kind kind) const;
    bool touches(const QString &target) const;
};

// Names of the two status panes.
namespace StatusPanes {
extern const char *const Calibration;  // "textEditStatusCalibration"
extern const char *const Device;       // "textEditStatusSettingsDevice"
}

// What the answer decoder does beyond the generic single-register handling.
enum class OperationHandler {
    Generic,
    External,          // built and decoded by another subsystem
    FixedCurrentMode,
    DeviceSettings,
    UpperRange,
    LowerRange,
    KdspRead, KdspWrite,
    CoefRead, CoefWrite,
    AkRead, AkWrite,
    BalanceDp,
    Serial,
    PressureQuery,
    RecordWrite
};

// How a write takes its payload from its inputs.
enum class Payload {
    None,               // command without data, or a read
    U8,                 // integer input, low byte
    U8FromHexText,      // text read as hexadecimal, 0..ff
    U8FromDecimalText,  // text read as decimal, 0..255
    U8FromCheck,        // 1 when checked or partly checked, else 0
    U16FixedCurrent,    // loop code from mA text and the wide-loop radio button
                        // (text payloads refuse what is not a number, see InputRefusal)
    ZeroAndU8,          // 0, low byte of the input
    TypeAndSensor,      // 0, type, 0, sensor code
    U32FromDecimalText, // unsigned 32-bit decimal
    FloatFromText,      // a number the float holds, "." or "," before the decimals
    FloatFromNumber,    // number input as a float
    Special             // built by the operation's handler
};

// How a single-register read shows its value.
enum class Shown { None, ModeText, SignedDecimal, UnsignedDecimal, HexPrefixed, FloatText, FloatNumber };

struct OperationDescriptor
{
    int code;
    const char *slot;
    int command;              // HART command; for queued operations the command of each request
    uint16_t reg;             // register of a single-register operation, else 0
    int width;                // bytes read or written at reg
    Payload payload;
    const char *input;        // widget the payload comes from
    InputSource inputSource;
    const char *caption;      // how a refusal of a typed input names it (UTF-8)
    const char *input2;       // second input (sensor code, loop radio button)
    InputSource input2Source;
    RequestKind kind;
    int fixedPeriodMs;        // 0: poll period
    const char *message;      // success message, UTF-8, or nullptr
    StatusPane pane;
    bool checksumGated;
    Shown shown;
    const char *output;       // widget a read writes
    bool messageFirst;        // message before the value (else after it, only on success)
    bool exactLength;         // the answer must carry exactly width bytes (else at least)
    bool checkRegister;       // the request must have been for reg
    const char *errorText;    // error-stream line when the answer does not fit
    bool errorOnRegister;     // errorText also when only the register differs
    OperationHandler handler;

    QString messageText() const { return message ? QString::fromUtf8(message) : QString(); }
};

class Operations
{
public:
    Operations() = delete;

    static const QVector<OperationDescriptor> &all();
    // nullptr for codes not in the catalogue (12..15, 21, 41 and any other).
    static const OperationDescriptor *find(int code);
    static bool isKnown(int code) { return find(code) != nullptr; }

    // Interface-mode text of register 0x0001 (1..11), empty for other values.
    static QString modeText(int mode);
};
