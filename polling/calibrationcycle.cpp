#include "polling/calibrationcycle.h"

void CalibrationCycle::pressureTaken()
{
    m_buttons.mo = true;
    m_buttons.clearMO = true;
    m_buttons.addDataCoef = false;
    m_averaging = false;
    meansCleared();
}

void CalibrationCycle::averagingStarted()
{
    m_averaging = true;
    m_buttons.addDataCoef = true;
}

void CalibrationCycle::pointAdded()
{
    m_buttons.setPressue = true;
    m_buttons.clearMO = false;
    m_buttons.addDataCoef = false;
    m_averaging = false;
    meansCleared();
    // Averaging needs a new pressure first.
    m_buttons.mo = false;
}

void CalibrationCycle::meansCleared()
{
    m_buttons.setPressue = true;
    m_buttons.mo = true;
}
