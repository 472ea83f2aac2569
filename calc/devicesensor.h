#pragma once
// The sensor a transmitter says it has, read before a calculation from the
// device-settings block (registers 0x00F4..0x00F9: measuring unit, device
// type, sensor code). The firmware is built for one cell, and its
// compensation formula follows that cell whatever check boxes the operator
// ticked; the high byte of the sensor code word names it:
//
//   0  not stated (a firmware that does not say, or a unit whose type was
//      set by the device tab, which writes that byte as 0)
//   1  two strain gauges, one per chamber
//   2  one strain gauge on the difference
//   3  capacitive cell
//
// The low byte is the range code the device tab shows as "Код модели".

#include "calc/calibrationtypes.h"

#include <QByteArray>
#include <QString>

// Bytes read from 0x00F4 for the sensor type: the same block the device
// settings read.
constexpr int kSensorTypeReadBytes = 6;
// Offset of the cell byte in that block (high byte of 0x00F8).
constexpr int kSensorCellByte = 4;

struct DeviceSensorType
{
    bool read = false;    // an answer with the block arrived
    bool stated = false;  // its cell byte is not 0
    bool known = false;   // its cell byte names one of the three cells
    int cellCode = 0;
    int deviceType = 0;   // 0x00F6 low byte
    int rangeCode = 0;    // 0x00F8 low byte
    SensorModel model = SensorModel::TwoGauge;
};

// Decodes the block read from 0x00F4; read is false when it is too short.
DeviceSensorType decodeDeviceSensorType(const QByteArray &block);

// How the calculation and the report name a model: "два тензодатчика",
// "один тензодатчик", "емкостной датчик".
QString sensorModelText(SensorModel model);
// The device's sensor type as said to the operator: the model's text,
// "не сообщает", "неизвестный (код N)" or "не прочитан".
QString deviceSensorText(const DeviceSensorType &type);

// The question put when the device's cell and the boxes disagree; empty
// when they agree or the device's cell is not known.
QString sensorMismatchQuestion(const DeviceSensorType &type, SensorModel chosen);
