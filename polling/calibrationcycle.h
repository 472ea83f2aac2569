#pragma once
// The calibration point cycle of the polling tab: take the reference
// pressures, average, add the point, and again. Holds whether averaging is on
// and which of the four cycle buttons are enabled; the slots copy the flags
// onto the buttons after each step.

class CalibrationCycle
{
public:
    struct Buttons
    {
        bool setPressue = true;     // "Записывать давление"
        bool mo = false;            // "Усреднять значения"
        bool clearMO = true;        // "Сбросить усреднение"
        bool addDataCoef = false;   // "Добавить данные"
    };

    // After the reference pressures were taken: averaging stops, the means
    // are to be reset (the caller resets them, as clearMO does).
    void pressureTaken();
    // Averaging starts; the point can now be added.
    void averagingStarted();
    // After the point files were written: back to taking a pressure.
    void pointAdded();
    // The means were reset.
    void meansCleared();

    bool averagingOn() const { return m_averaging; }
    const Buttons &buttons() const { return m_buttons; }

private:
    Buttons m_buttons;
    bool m_averaging = false;
};
