// Slots of the calibration, device, range-settings and indirect-calculation
// tabs. Each one names its operation code and leaves the rest to the device
// command core: the widgets an operation reads are collected by object name,
// the core builds the requests, and what an answer does to the widgets comes
// back as a list of actions applied here. The range sliders of the device tab
// are the one place with logic of their own, because they drive each other.

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "device/coefficientgroup.h"
#include "device/decimalseparatorfilter.h"
#include "device/registermap.h"
#include "device/valuecodec.h"
#include "link/protocolcomhart.h"
#include "link/responsecode.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QCheckBox>
#include <QColor>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QSpinBox>
#include <QTextEdit>
#include <cstdio>

// ---------------------------------------------------------------- construction

void MainWindow::setupDeviceOperations()
{
    using B = QAbstractButton;
    const struct {
        QAbstractButton *button;
        void (MainWindow::*slot)();
    } buttons[] = {
        {ui->buttonSpan, &MainWindow::spanRequest},
        {ui->buttonSpan_2, &MainWindow::spanRequest},
        {ui->buttonZero, &MainWindow::zeroRequest},
        {ui->buttonZero_2, &MainWindow::zeroRequest},
        {ui->buttonZeroFirstVar, &MainWindow::zeroFirstVarRequest},
        {ui->buttonSetMode, &MainWindow::setMode},
        {ui->buttonMovingAverage_1, &MainWindow::setMovingAverage_1},
        {ui->buttonMovingAverage_3, &MainWindow::setMovingAverage_1},
        {ui->buttonMovingAverage_2, &MainWindow::setMovingAverage_2},
        {ui->buttonSetAddress, &MainWindow::setAddress},
        {ui->buttonSetMaxValue, &MainWindow::setMaxValue},
        {ui->buttonGetMode, &MainWindow::getMode},
        {ui->buttonGetMovingAverage_1, &MainWindow::getMovingAverage_1},
        {ui->buttonGetMovingAverage_2, &MainWindow::getMovingAverage_2},
        {ui->buttonGetAddress, &MainWindow::getAddress},
        {ui->buttonGetMaxValue, &MainWindow::getMaxValue},
        {ui->buttonGetCurrent, &MainWindow::getCurrent},
        {ui->buttonGetPressue, &MainWindow::getPressue},
        {ui->buttonSetFixedCurrent, &MainWindow::setValueFixedCurrent},
        {ui->pbSetEEPROMPaswd, &MainWindow::onSetEEPROMPaswd},
        {ui->pbGetEEPROMPaswd, &MainWindow::onGetEEPROMPaswd},
        {ui->pbSetSerial, &MainWindow::on_serial_set},
        {ui->pbGetSerial, &MainWindow::on_serial_recv},
        {ui->current_reg_setButton, &MainWindow::onCurrentRegSet},
        {ui->current_reg_recvButton, &MainWindow::onCurrentRegRecv},
        {ui->pbRebootDevice, &MainWindow::onRebootDeviceReq},
        {ui->pbRebootDevice_2, &MainWindow::onRebootDeviceReq},
        {ui->pbRebootDevice_3, &MainWindow::onRebootDeviceReq},
        {ui->pbRebootDevice_4, &MainWindow::onRebootDeviceReq},
        {ui->pbRebootDevice_5, &MainWindow::onRebootDeviceReq},
        {ui->buttonSetDeviceType, &MainWindow::setTypeDevice},
        {ui->buttonGetDeviceType, &MainWindow::getTypeDevice},
        {ui->buttonSetRange, &MainWindow::setRange},
        {ui->buttonSetRangeMin, &MainWindow::setRangeMin},
        {ui->buttonSetMesureUnit, &MainWindow::setMesureUnit},
        {ui->pbSetFilterAmp, &MainWindow::onSetFilterAmp},
        {ui->pbQueryPressure, &MainWindow::onPressureQuery},
        {ui->kdsp_getButton, &MainWindow::onKdspRequest},
        {ui->kdsp_setButton, &MainWindow::onKdspSet},
        {ui->kdsp_clearButton_req, &MainWindow::onKdspClear_req},
        {ui->kdsp_clearButton_set, &MainWindow::onKdspClear_set},
        {ui->coef_getButton, &MainWindow::onCoefRequest},
        {ui->coef_setButton, &MainWindow::onCoefSet},
        {ui->coef_clearButton_req, &MainWindow::onCoefClear_req},
        {ui->coef_clearButton_set, &MainWindow::onCoefClear_set},
        {ui->ak_getButton, &MainWindow::onAkRequest},
        {ui->ak_setButton, &MainWindow::onAkSet},
        {ui->ak_clearButton_req, &MainWindow::onAkClear_req},
        {ui->ak_clearButton_set, &MainWindow::onAkClear_set},
    };
    for (const auto &b : buttons)
        connect(b.button, &B::clicked, this, b.slot);
    connect(ui->comboBoxMesure, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &MainWindow::onUpdateMU);

    // Every decimal spin box of the window ("Учитываемая амплитуда импульса"
    // among them) takes "." and "," alike.
    DecimalSeparatorFilter::installOn(this);

    // The unit list was filled before the table could follow it: take the
    // unit it shows now, so the range labels are in that unit from the start.
    deviceOps.ranges().selectUnit(ui->comboBoxMesure->currentIndex());
    updateRangeLabels();

    // Every field the coefficient groups name has to exist on the form; a
    // missing one would silently drop its values.
    for (const CoefficientGroup *g : {&CoefficientGroup::kdsp(), &CoefficientGroup::coef(), &CoefficientGroup::ak()})
        for (const CoefficientGroup::Entry &e : g->entries())
            for (const QString &name : {e.receiveField, e.setField})
                if (!findChild<QLineEdit *>(name))
                    std::fprintf(stderr, "setupDeviceOperations: no field %s\n", qPrintable(name));
}

// ---------------------------------------------------------------- common path

QVariantMap MainWindow::collect(const QVector<InputSpec> &specs) const
{
    QVariantMap values;
    for (const InputSpec &input : specs) {
        QObject *o = findChild<QObject *>(input.widget);
        if (!o)
            continue;
        QVariant v;
        switch (input.source) {
        case InputSource::Text:
            if (auto *e = qobject_cast<QLineEdit *>(o))
                v = e->text();
            else if (auto *c = qobject_cast<QComboBox *>(o))
                v = c->currentText();
            break;
        case InputSource::Value:
            if (auto *s = qobject_cast<QSpinBox *>(o))
                v = s->value();
            else if (auto *d = qobject_cast<QDoubleSpinBox *>(o))
                v = d->value();
            else if (auto *sl = qobject_cast<QAbstractSlider *>(o))
                v = sl->value();
            break;
        case InputSource::ItemData:
            if (auto *c = qobject_cast<QComboBox *>(o))
                v = c->currentData();
            break;
        case InputSource::CheckState:
            if (auto *cb = qobject_cast<QCheckBox *>(o))
                v = int(cb->checkState());
            else if (auto *b = qobject_cast<QAbstractButton *>(o))
                v = b->isChecked() ? int(Qt::Checked) : int(Qt::Unchecked);
            break;
        }
        values.insert(input.widget, v);
    }
    return values;
}

void MainWindow::runOperation(int code, const QString &trigger)
{
    if (!checkPortOpen())
        return;
    const OperationRequest r = deviceOps.buildOperation(code, collect(DeviceOperations::inputSpecs(code, trigger)));
    if (!r.valid)
        return;
    if (r.refused()) {
        // Typed text that is not the number its field takes: the field goes
        // red, the engineer is told which, and nothing is sent.
        applyWidgetActions(r.before);
        QTextEdit *pane = nullptr;
        if (const OperationDescriptor *d = Operations::find(code)) {
            if (d->pane == StatusPane::Calibration || d->pane == StatusPane::CalibrationAndDevice)
                pane = ui->textEditStatusCalibration;
            else if (d->pane == StatusPane::Device)
                pane = ui->textEditStatusSettingsDevice;
        }
        reportFailure(r.refusalText(), pane);
        return;
    }

    const bool longFrame = ui->checkLongFrame->isChecked();
    const auto address = uint8_t(ui->comboBoxMainAddr->currentData().toInt());
    QVector<QByteArray> frames;
    QString error;
    if (!r.frames(ui->spinBoxSymPreamble->value(), longFrame, OperationRequest::addressBytes(address, longFrame),
                  &frames, &error)) {
        std::fprintf(stderr, "Operation %d: %s\n", code, qPrintable(error));
        reportUnbuiltFrames(ui->spinBoxSymPreamble->value(), longFrame, r.items, error);
        return;
    }

    takeLine(code);
    if (r.takesBusyLock() && !busy)
        setBusy(true);
    link->clearQueue();
    applyWidgetActions(r.before);
    if (code == 50)
        m_pressureQueryRunning = !r.stopOnly;
    if (r.stopOnly)
        return;   // the link ends the cyclic run at its next send tick

    prepareLink(code, r.periodMs(pollPeriod));
    trackOperation(code, frames.size());
    // While the link still waits for the answer of an earlier request (the
    // cyclic pressure query, say), that answer will be reported with this
    // operation's code; remember what this operation asks, so the stale one
    // is recognised. A single frame would be refused then; queued, it goes
    // out once the earlier outcome is in.
    m_awaitedRequests.clear();
    m_awaitedCode = code;
    if (link->isBusy())
        for (const RequestItem &item : r.items)
            m_awaitedRequests.append(item.data);
    if (r.kind == RequestKind::Single && frames.size() == 1 && !link->isBusy()) {
        link->sendFrame(frames.first());
        return;
    }
    for (const QByteArray &f : qAsConst(frames))
        link->enqueue(f);
    link->startQueue(r.kind == RequestKind::Cyclic);
}

namespace {
// The pane an operation's messages go to.
QTextEdit *operationPane(Ui::MainWindow *ui, int code)
{
    const OperationDescriptor *d = Operations::find(code);
    if (!d)
        return nullptr;
    switch (d->pane) {
    case StatusPane::Calibration:
    case StatusPane::CalibrationAndDevice:
        return ui->textEditStatusCalibration;
    case StatusPane::Device:
        return ui->textEditStatusSettingsDevice;
    case StatusPane::None:
        break;
    }
    return nullptr;
}
}

uint8_t MainWindow::answerResponseCode() const
{
    return link->answerChecksumOk() ? link->answer().status1() : 0;
}

bool MainWindow::reportResponseCode(uint8_t status1, QTextEdit *pane)
{
    switch (ResponseCode::kind(status1)) {
    case ResponseCode::Kind::Success:
        return true;
    case ResponseCode::Kind::Warning:
        report(ResponseCode::operationText(status1), QColor(230, 120, 0), pane);
        return true;
    case ResponseCode::Kind::Refusal:
    case ResponseCode::Kind::CommunicationError:
        break;
    }
    reportFailure(ResponseCode::operationText(status1), pane);
    return false;
}

void MainWindow::handleDeviceAnswer(int code)
{
    if (code == m_awaitedCode && !m_awaitedRequests.isEmpty()) {
        if (!m_awaitedRequests.contains(link->requestData()))
            return;   // the answer to a request of the operation before
        m_awaitedRequests.clear();
    }
    // A refusal is said in red and does nothing else: no field turns green,
    // no value is shown as the device's, and a parameters file being saved
    // gets no line of it (the chain stops, the file is said to be partial).
    const uint8_t status1 = answerResponseCode();
    if (!ResponseCode::executed(status1)) {
        reportResponseCode(status1, operationPane(ui, code));
        if (deviceOps.saveChainActive())
            deviceOps.abortSaveChain();
        return;
    }
    const OperationAnswer answer{code, link->requestData(), link->answerData(), link->answerChecksumOk()};
    // The device's upper limit would be pushed up by a lower slider the user
    // left high; the lower limit is the next answer and sets it anyway.
    if (code == 32 && ValueCodec::requestRegister(answer.requestData) == RegisterMap::UpperLimit)
        ui->sliderChooseRangeMin->setValue(ui->sliderChooseRangeMin->minimum());
    const AnswerResult result = deviceOps.decodeAnswer(answer, collect(DeviceOperations::answerInputSpecs(code)));
    applyWidgetActions(result.actions);
    reportResponseCode(status1, operationPane(ui, code));   // a warning, after the values
    // The parameters file save chain goes on from one read to the next.
    if (result.followUp == 40)
        on_balance_dP_recv();
    else if (result.followUp == 42)
        on_serial_recv();
}

void MainWindow::applyWidgetActions(const WidgetActions &actions)
{
    for (const WidgetAction &a : actions) {
        if (a.kind == WidgetAction::ErrorLine) {
            std::fputs(a.value.toString().toLocal8Bit().constData(), stderr);
            continue;
        }
        QObject *o = findChild<QObject *>(a.target);
        if (!o) {
            std::fprintf(stderr, "applyWidgetActions: no widget %s\n", qPrintable(a.target));
            continue;
        }
        switch (a.kind) {
        case WidgetAction::SetText:
            if (auto *e = qobject_cast<QLineEdit *>(o))
                e->setText(a.value.toString());
            else if (auto *l = qobject_cast<QLabel *>(o))
                l->setText(a.value.toString());
            else if (auto *b = qobject_cast<QAbstractButton *>(o))
                b->setText(a.value.toString());
            break;
        case WidgetAction::SetValue:
            if (auto *s = qobject_cast<QSpinBox *>(o))
                s->setValue(a.value.toInt());
            else if (auto *d = qobject_cast<QDoubleSpinBox *>(o))
                d->setValue(a.value.toDouble());
            else if (auto *sl = qobject_cast<QAbstractSlider *>(o))
                sl->setValue(a.value.toInt());
            break;
        case WidgetAction::SetValueAndNotify:
            if (auto *sl = qobject_cast<QAbstractSlider *>(o)) {
                const int v = a.value.toInt();
                sl->setValue(v);
                emit sl->valueChanged(v);
            }
            break;
        case WidgetAction::SetCurrentIndex:
            if (auto *c = qobject_cast<QComboBox *>(o))
                c->setCurrentIndex(a.value.toInt());
            break;
        case WidgetAction::SelectItemText:
            if (auto *c = qobject_cast<QComboBox *>(o)) {
                const int i = c->findText(a.value.toString());
                if (i >= 0)
                    c->setCurrentIndex(i);
            }
            break;
        case WidgetAction::SetEnabled:
            if (auto *w = qobject_cast<QWidget *>(o))
                w->setEnabled(a.value.toBool());
            break;
        case WidgetAction::SetPalette:
            if (auto *w = qobject_cast<QWidget *>(o)) {
                switch (FieldPalette(a.value.toInt())) {
                case FieldPalette::Neutral: w->setPalette(paletteNormal); break;
                case FieldPalette::Confirmed: w->setPalette(paletteSuccess); break;
                case FieldPalette::Failed: w->setPalette(paletteFailure); break;
                }
            }
            break;
        case WidgetAction::AppendStatus:
            if (auto *pane = qobject_cast<QTextEdit *>(o)) {
                if (a.successColour) {
                    pane->moveCursor(QTextCursor::End);
                    pane->setTextColor(successColour());
                }
                const QString text = a.value.toString();
                if (!text.isEmpty())
                    appendStatus(pane, text);
                else
                    pane->ensureCursorVisible();
            }
            break;
        case WidgetAction::ErrorLine:
            break;
        }
    }
}

// ---------------------------------------------------------------- calibration tab

void MainWindow::spanRequest() { runOperation(4); }
void MainWindow::zeroRequest() { runOperation(5); }
void MainWindow::zeroFirstVarRequest() { runOperation(6); }
void MainWindow::setMode() { runOperation(7); }

void MainWindow::setMovingAverage_1()
{
    // The device tab's button sends its own spin box.
    runOperation(8, sender() ? sender()->objectName() : QString());
}

void MainWindow::setMovingAverage_2() { runOperation(9); }
void MainWindow::setAddress() { runOperation(10); }
void MainWindow::setMaxValue() { runOperation(11); }
void MainWindow::getMode() { runOperation(16); }
void MainWindow::getMovingAverage_1() { runOperation(17); }
void MainWindow::getMovingAverage_2() { runOperation(18); }
void MainWindow::getAddress() { runOperation(19); }
void MainWindow::getMaxValue() { runOperation(20); }
void MainWindow::getCurrent() { runOperation(22); }
void MainWindow::getPressue() { runOperation(23); }
void MainWindow::on_checkBoxFixedCurrent_stateChanged(int) { runOperation(24); }
void MainWindow::setValueFixedCurrent() { runOperation(25); }
void MainWindow::onSetEEPROMPaswd() { runOperation(47); }
void MainWindow::onGetEEPROMPaswd() { runOperation(48); }
void MainWindow::on_serial_set() { runOperation(43); }
void MainWindow::on_serial_recv() { runOperation(42); }
void MainWindow::onCurrentRegSet() { runOperation(136); }
void MainWindow::onCurrentRegRecv() { runOperation(135); }
void MainWindow::onRebootDeviceReq() { runOperation(44); }

// ---------------------------------------------------------------- device tab

void MainWindow::setTypeDevice() { runOperation(31); }
void MainWindow::getTypeDevice() { runOperation(32); }
void MainWindow::setRange() { runOperation(30); }
void MainWindow::setRangeMin() { runOperation(34); }
void MainWindow::setMesureUnit() { runOperation(35); }
void MainWindow::on_buttonSetBalanceZero_clicked() { runOperation(33); }
void MainWindow::onSetFilterAmp() { runOperation(49); }
void MainWindow::onPressureQuery() { runOperation(50); }

void MainWindow::updateRangeLabels()
{
    const SensorRangeTable &t = deviceOps.ranges();
    ui->labelChooseRange->setText(t.labelText(ui->sliderChooseRange->value()));
    ui->labelChooseRangeMin->setText(t.labelText(ui->sliderChooseRangeMin->value()));
}

void MainWindow::resetRangeSliders()
{
    // Each step may run the other slider's handler; the order keeps the
    // upper slider at the widest range and the lower one at zero.
    const int last = qMax(0, deviceOps.ranges().maxIndex());
    ui->sliderChooseRange->setMinimum(0);
    ui->sliderChooseRange->setMaximum(last);
    ui->sliderChooseRange->setValue(last);
    ui->labelChooseRange->setText(deviceOps.ranges().labelText(ui->sliderChooseRange->value()));
    ui->sliderChooseRangeMin->setMinimum(0);
    ui->sliderChooseRangeMin->setValue(0);
    ui->sliderChooseRangeMin->setMaximum(last);
    ui->labelChooseRangeMin->setText(deviceOps.ranges().labelText(ui->sliderChooseRangeMin->value()));
}

void MainWindow::on_comboBoxCurrentDevice_currentIndexChanged(int)
{
    const int type = ui->comboBoxCurrentDevice->currentData().toInt();
    const auto limits = SensorRangeTable::sensorCodeLimits(type);
    ui->spinBoxSensorCode->setRange(limits.first, limits.second);
    deviceOps.ranges().selectSensor(type, ui->spinBoxSensorCode->value());
    resetRangeSliders();
}

void MainWindow::selectShownRanges()
{
    deviceOps.ranges().selectSensor(ui->comboBoxCurrentDevice->currentData().toInt(), ui->spinBoxSensorCode->value());
    deviceOps.ranges().selectUnit(ui->comboBoxMesure->currentIndex());
}

void MainWindow::on_spinBoxSensorCode_valueChanged(int)
{
    selectShownRanges();
    resetRangeSliders();
}

void MainWindow::on_sliderChooseRange_valueChanged(int value)
{
    selectShownRanges();
    const int wanted = SensorRangeTable::upperSliderValue(value, ui->sliderChooseRangeMin->value());
    if (wanted != value)
        ui->sliderChooseRange->setValue(wanted);
    ui->labelChooseRange->setText(deviceOps.ranges().labelText(ui->sliderChooseRange->value()));
}

void MainWindow::on_sliderChooseRangeMin_valueChanged(int value)
{
    selectShownRanges();
    const int wanted = SensorRangeTable::lowerSliderValue(value, ui->sliderChooseRange->value());
    if (wanted != value)
        ui->sliderChooseRangeMin->setValue(wanted);
    ui->labelChooseRangeMin->setText(deviceOps.ranges().labelText(ui->sliderChooseRangeMin->value()));
}

void MainWindow::on_comboBoxMesure_currentIndexChanged(int)
{
    selectShownRanges();
    updateRangeLabels();
}

void MainWindow::onUpdateMU(int index)
{
    ui->lMeasType->setText(SensorRangeTable::quantityText(index));
    ui->lMeasUnits->setText(ui->comboBoxMesure->currentText());
}

// ---------------------------------------------------------------- coefficient groups

void MainWindow::onKdspRequest() { runOperation(36); }
void MainWindow::onKdspSet() { runOperation(37); }
void MainWindow::onCoefRequest() { runOperation(38); }
void MainWindow::onCoefSet() { runOperation(39); }
void MainWindow::onAkRequest() { runOperation(45); }
void MainWindow::onAkSet() { runOperation(46); }
void MainWindow::on_balance_dP_recv() { runOperation(40); }

void MainWindow::onKdspClear_req() { applyWidgetActions(CoefficientGroup::kdsp().clearActions(CoefficientGroup::Receive)); }
void MainWindow::onKdspClear_set() { applyWidgetActions(CoefficientGroup::kdsp().clearActions(CoefficientGroup::Set)); }
void MainWindow::onCoefClear_req() { applyWidgetActions(CoefficientGroup::coef().clearActions(CoefficientGroup::Receive)); }
void MainWindow::onCoefClear_set() { applyWidgetActions(CoefficientGroup::coef().clearActions(CoefficientGroup::Set)); }
void MainWindow::onAkClear_req() { applyWidgetActions(CoefficientGroup::ak().clearActions(CoefficientGroup::Receive)); }
void MainWindow::onAkClear_set() { applyWidgetActions(CoefficientGroup::ak().clearActions(CoefficientGroup::Set)); }
