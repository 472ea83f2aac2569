// Construction steps and answer handlers of the subsystems that have not yet
// taken them over. A subsystem that implements one defines it in its own
// folder (<subsystem>/mainwindow_<subsystem>.cpp) and removes it here.

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>

