#!/usr/bin/env python3
"""Writes the Qt Designer form of the main window to standard output.

The form is large and regular (six float rows of four byte fields, thirteen
coefficient rows per group, fifteen grid-aligned value rows), so it is
described here once and emitted as an ordinary Designer file. This script is
the form's only source: the build runs it at configure time and writes
BUILD_DIR/forms/mainwindow.ui, from which ui_mainwindow.h is generated. Edit
the form here; to look at it in Designer:

    python3 scripts/gen_mainwindow_ui.py > /tmp/mainwindow.ui && designer /tmp/mainwindow.ui
"""

import sys
import xml.etree.ElementTree as ET

_counter = {}


def _auto(prefix):
    _counter[prefix] = _counter.get(prefix, 0) + 1
    return "%s_%d" % (prefix, _counter[prefix])


# ---------------------------------------------------------------- values

class Enum(str):
    pass


class Set(str):
    pass


class Size(tuple):
    pass


class Raw:
    """A ready-made property value element."""

    def __init__(self, element):
        self.element = element


def _value(v):
    if isinstance(v, Raw):
        return v.element
    if isinstance(v, bool):
        e = ET.Element("bool")
        e.text = "true" if v else "false"
    elif isinstance(v, Enum):
        e = ET.Element("enum")
        e.text = str(v)
    elif isinstance(v, Set):
        e = ET.Element("set")
        e.text = str(v)
    elif isinstance(v, Size):
        e = ET.Element("size")
        ET.SubElement(e, "width").text = str(v[0])
        ET.SubElement(e, "height").text = str(v[1])
    elif isinstance(v, int):
        e = ET.Element("number")
        e.text = str(v)
    elif isinstance(v, float):
        e = ET.Element("double")
        e.text = repr(v)
    else:
        e = ET.Element("string")
        e.text = str(v)
    return e


def _prop(parent, name, v, stdset=True):
    p = ET.SubElement(parent, "property", name=name)
    if not stdset:
        p.set("stdset", "0")
    p.append(_value(v))
    return p


def font_bold():
    f = ET.Element("font")
    ET.SubElement(f, "weight").text = "75"
    ET.SubElement(f, "bold").text = "true"
    return Raw(f)


def button_text_palette(r, g, b):
    pal = ET.Element("palette")
    for group in ("active", "inactive", "disabled"):
        ge = ET.SubElement(pal, group)
        cr = ET.SubElement(ge, "colorrole", role="ButtonText")
        br = ET.SubElement(cr, "brush", brushstyle="SolidPattern")
        c = ET.SubElement(br, "color", alpha="255")
        rgb = (r, g, b) if group != "disabled" else (120, 120, 120)
        for tag, val in zip(("red", "green", "blue"), rgb):
            ET.SubElement(c, tag).text = str(val)
    return Raw(pal)


# --------------------------------------------------------------- widgets

class W:
    def __init__(self, cls, name=None, layout=None, children=(), attrs=None, **props):
        self.cls = cls
        self.name = name or _auto("w" + (cls[1:] if cls.startswith("Q") else cls))
        self.layout = layout
        self.children = list(children)   # direct child widgets (tabs, scroll contents)
        self.attrs = attrs or {}
        self.props = props

    def xml(self):
        e = ET.Element("widget", {"class": self.cls, "name": self.name})
        for k, v in self.attrs.items():
            a = ET.SubElement(e, "attribute", name=k)
            a.append(_value(v))
        for k, v in self.props.items():
            _prop(e, k, v)
        if self.layout is not None:
            e.append(self.layout.xml())
        for c in self.children:
            e.append(c.xml())
        return e


class Spacer:
    def __init__(self, vertical=False, w=20, h=20, policy=None):
        self.vertical = vertical
        self.w, self.h = w, h
        self.policy = policy

    def xml(self):
        e = ET.Element("spacer", name=_auto("spacer"))
        _prop(e, "orientation", Enum("Qt::Vertical" if self.vertical else "Qt::Horizontal"))
        if self.policy:
            _prop(e, "sizeType", Enum(self.policy))
        _prop(e, "sizeHint", Size((self.w, self.h)), stdset=False)
        return e


class L:
    """A layout. items: for box layouts a list of children (or (child, stretch));
    for grids a list of (child, row, col[, rowspan, colspan])."""

    def __init__(self, cls, items, name=None, margins=None, spacing=None, stretch=None,
                 colstretch=None, **props):
        self.cls = cls
        self.name = name or _auto(cls[1:].lower())
        self.items = items
        self.margins = margins
        self.spacing = spacing
        self.stretch = stretch
        self.colstretch = colstretch
        self.props = props

    def xml(self):
        e = ET.Element("layout", {"class": self.cls, "name": self.name})
        if self.stretch:
            _prop(e, "stretch", self.stretch, stdset=False)
        if self.colstretch:
            _prop(e, "columnstretch", self.colstretch, stdset=False)
        if self.spacing is not None:
            _prop(e, "spacing", self.spacing)
        if self.margins is not None:
            for side in ("leftMargin", "topMargin", "rightMargin", "bottomMargin"):
                _prop(e, side, self.margins)
        for k, v in self.props.items():
            _prop(e, k, v)
        for it in self.items:
            if self.cls == "QGridLayout":
                child, row, col = it[0], it[1], it[2]
                item = ET.SubElement(e, "item", row=str(row), column=str(col))
                if len(it) > 3:
                    item.set("rowspan", str(it[3]))
                    item.set("colspan", str(it[4]))
                if len(it) > 5:
                    item.set("alignment", it[5])
            else:
                child = it
                item = ET.SubElement(e, "item")
            item.append(child.xml())
        return e


def hbox(*items, **kw):
    return L("QHBoxLayout", list(items), **kw)


def vbox(*items, **kw):
    return L("QVBoxLayout", list(items), **kw)


def grid(items, **kw):
    return L("QGridLayout", items, **kw)


def hstretch():
    return Spacer(False, 40, 20)


def vstretch():
    return Spacer(True, 20, 40)


# Convenience constructors -------------------------------------------------

def label(name, text, **kw):
    return W("QLabel", name, text=text, **kw)


def button(name, text, **kw):
    return W("QPushButton", name, text=text, **kw)


def line(name, text=None, width=None, readonly=False, **kw):
    if text is not None:
        kw["text"] = text
    if width:
        kw["minimumSize"] = Size((width, 0))
    if readonly:
        kw["readOnly"] = True
    return W("QLineEdit", name, **kw)


def spin(name, lo, hi, value, step=1, width=None, **kw):
    if width:
        kw["minimumSize"] = Size((width, 0))
    return W("QSpinBox", name, minimum=lo, maximum=hi, singleStep=step, value=value, **kw)


def dspin(name, lo, hi, value, step, decimals, width=None, **kw):
    if width:
        kw["minimumSize"] = Size((width, 0))
    return W("QDoubleSpinBox", name, decimals=decimals, minimum=float(lo), maximum=float(hi),
             singleStep=float(step), value=float(value), **kw)


def combo(name, width=None, **kw):
    if width:
        kw["minimumSize"] = Size((width, 0))
    return W("QComboBox", name, **kw)


def check(name, text="", **kw):
    return W("QCheckBox", name, text=text, **kw)


def group(name, title, layout, **kw):
    return W("QGroupBox", name, layout=layout, title=title, **kw)


def status_pane(name, min_h=90):
    return W("QTextEdit", name, readOnly=True, minimumSize=Size((0, min_h)))


def scroll(name, contents_name, layout):
    contents = W("QWidget", contents_name, layout=layout)
    return W("QScrollArea", name, children=[contents], widgetResizable=True,
             frameShape=Enum("QFrame::NoFrame"))


def tab(name, title, layout):
    return W("QWidget", name, layout=layout, attrs={"title": title})


SET = "Установить"
GET = "Получить"
WRITE = "Записать"
CLEAR = "Очистить"
REBOOT = "Перезагрузить устройство"
FIELD_W = 96


def reboot_row(name):
    return hbox(hstretch(), button(name, REBOOT))


def column_head(text):
    return W("QLabel", None, text=text, alignment=Set("Qt::AlignCenter"), font=font_bold())


# ------------------------------------------------------------------ header

def vline():
    return W("QFrame", None, frameShape=Enum("QFrame::VLine"), frameShadow=Enum("QFrame::Sunken"))


def header():
    top = hbox(
        W("QLabel", None, text="Порт"),
        button("buttonUpdateCom", "O", maximumSize=Size((32, 16777215)),
               toolTip="Обновить список портов"),
        # As wide as a port name, not as the longest path on the list: a
        # by-id path would push the row past a 1024 pixel screen (the field
        # shows the path's end, the status bar's port tool tip the whole).
        combo("comboBoxNamePort", 170, editable=True,
              sizeAdjustPolicy=Enum("QComboBox::AdjustToMinimumContentsLengthWithIcon"),
              minimumContentsLength=18,
              toolTip="Порт из списка системы или путь к порту, введённый вручную"),
        button("buttonConnectPort", "Связать"),
        button("buttonClosePort", "Закрыть порт"),
        vline(),
        label("label_17", "Адрес устройства"),
        combo("comboBoxMainAddr", 64),
        button("buttonFindDevice", "Поиск устройств"),
        button("buttonResetAddr", "Сброс адреса"),
        hstretch(),
        name="headerTopLayout")
    # The password sits at the end of the second row: on the first it made
    # the window wider than a 1024 pixel screen.
    log = hbox(
        button("buttonSave", "Сохранять как"),
        check("checkBoxSave", toolTip="Записывать журнал измерений в выбранный файл"),
        label("label_14", "Сохраняется в файл:"),
        label("labelSave", "", minimumSize=Size((120, 0)),
              sizePolicy=Raw(_size_policy("Ignored", "Preferred", 1))),
        label("label_64", "Пароль:"),
        line("lineEditPassword", maximumSize=Size((120, 16777215)),
             echoMode=Enum("QLineEdit::Password")),
        name="headerLogLayout")
    return [top, log]


def _size_policy(h, v, hs=0, vs=0):
    e = ET.Element("sizepolicy", hsizetype=h, vsizetype=v)
    ET.SubElement(e, "horstretch").text = str(hs)
    ET.SubElement(e, "verstretch").text = str(vs)
    return e


# ------------------------------------------------------------- tab 0

FLOAT_INIT = ["1.234", "2.345", "3.456", "4.567", "5.678", "6.789"]


def tab_developer():
    req = group("groupBoxRequest", "Запрос", grid([
        (combo("comboBoxFunc", sizeAdjustPolicy=Enum("QComboBox::AdjustToContents")), 0, 0, 1, 4),
        (label("label_21", "Преамбула"), 1, 0),
        (spin("spinBoxSymPreamble", 3, 20, 4, width=70), 1, 1),
        (check("checkLongFrame", "Длинный фрейм"), 1, 2, 1, 2),
        (label("label_27", "Выбор регистра"), 2, 0),
        (combo("comboBoxRegisters"), 2, 1, 1, 3),
        (label("label_19", "Кол-во байт данных"), 3, 0),
        (spin("spinBoxSymData91", 1, 24, 4, width=70), 3, 1),
        (label("label_22", "Адрес"), 4, 0),
        (line("lineAddr91_2", "00", maximumSize=Size((48, 16777215)), maxLength=2,
              toolTip="Старший байт адреса регистра"), 4, 1),
        (line("lineAddr91", "04", maximumSize=Size((48, 16777215)), maxLength=2,
              toolTip="Младший байт адреса регистра"), 4, 2),
        (label("label_18", "Запрос"), 5, 0),
        (line("lineEditRequest", readonly=True), 5, 1, 1, 3),
        (hbox(button("buttonSend", "Отправить"), button("buttonStartLoop", "Цикл"),
              button("buttonStopLoop", "Стоп"), hstretch()), 6, 0, 1, 4),
    ], colstretch="0,0,0,1"))

    rows = [(W("QLabel", None, text="Значение", font=font_bold()), 0, 0)]
    for j in range(1, 5):
        rows.append((W("QLabel", None, text="Байт %d" % j, alignment=Set("Qt::AlignCenter")), 0, j))
    for i in range(1, 7):
        rows.append((line("lineFloat_%d" % i, FLOAT_INIT[i - 1], width=100), i, 0))
        for j in range(1, 5):
            rows.append((line("lineFloat_%d_Byte_%d" % (i, j), "00", inputMask="hh",
                              maximumSize=Size((44, 16777215)),
                              alignment=Set("Qt::AlignCenter")), i, j))
    rows.append((hbox(button("buttonCreate91Request", "Создать 91-й запрос"), hstretch()),
                 7, 0, 1, 5))
    data = group("groupBoxData91", "Данные для записи", grid(rows, colstretch="1,0,0,0,0"))

    left = vbox(req, data,
                W("QTableView", "tableView_2", minimumSize=Size((0, 80))),
                stretch="0,0,1")
    left_scroll = scroll("scrollAreaDeveloper", "scrollAreaDeveloperContents", left)
    left_scroll.props["minimumSize"] = Size((400, 0))
    left_scroll.props["maximumSize"] = Size((560, 16777215))

    right = vbox(
        W("QTextEdit", "textEditConsole", readOnly=True,
          font=Raw(_mono_font())),
        hbox(check("checkAltView"), label("label_23", "Альтернативный вид 51-й функции"),
             hstretch(), button("buttonClearConsole", "Clear")),
        W("QLabel", None, text="Состояние", font=font_bold()),
        status_pane("textEditStatus", 80),
        stretch="3,0,0,1")
    return tab("tabForDeveloper", "Для разработчика", hbox(left_scroll, right, stretch="0,1"))


def _mono_font():
    f = ET.Element("font")
    ET.SubElement(f, "family").text = "Monospace"
    return f


# ------------------------------------------------------------- tab 1

def tab_function3():
    devs = grid([], name="devsGridLayout", spacing=4)
    avgs = grid([], name="devsAvgGridLayout", spacing=4)
    # Narrow margins: with the default ones the tab was 26 px wider than a
    # 1024 pixel screen.
    contents = vbox(hbox(devs, avgs, hstretch(), spacing=8), vstretch(), margins=4)
    area = scroll("scrollArea", "scrollAreaWidgetContents_2", contents)
    area.props["horizontalScrollBarPolicy"] = Enum("Qt::ScrollBarAlwaysOff")
    channels = group("groupBoxChannels", "Устройства", vbox(area, margins=4),
                     sizePolicy=Raw(_size_policy("Maximum", "Preferred")))

    poll = group("groupBoxPoll", "Опрос", grid([
        (button("buttonFunction3Send", "Отправить запрос"), 0, 0),
        (button("buttonFunction3Loop", "Циклический опрос"), 0, 1),
        (button("buttonStopRequstFunc3", "Остановить опрос"), 0, 2),
        (hbox(label("label_30", "Период опроса"),
              spin("spinBoxTimerInterval", 10, 10000, 500, width=80, suffix=" мс"),
              hstretch()), 1, 0, 1, 3),
    ], margins=8))

    capture = group("groupBoxCalibrationCapture", "Калибровка", grid([
        (check("checkBoxCakibrationMiddle", "Калибровка НУ (23 °C)"), 0, 0),
        (check("checkBoxCakibrationLow", "Калибровка (Tmin)"), 1, 0),
        (check("checkBoxCakibrationHigh", "Калибровка (Tmax)"), 2, 0),
        (label("label_47", "P+", alignment=Set("Qt::AlignRight|Qt::AlignVCenter")), 0, 1),
        (spin("spinBoxPressuePos", -600000, 600000, 0, width=100), 0, 2),
        (combo("cbMU4var", 70, toolTip="Единицы давления P+ и P-"), 0, 3),
        (label("label_48", "P-", alignment=Set("Qt::AlignRight|Qt::AlignVCenter")), 1, 1),
        (spin("spinBoxPressueNeg", -6000, 6000, 0, width=100), 1, 2),
        (check("checkBoxSamePressue", toolTip="P- равно P+"), 1, 3),
        (button("buttonSetPressue", "Записывать давление"), 2, 1, 1, 3),
        (hbox(button("buttonMO", "Усреднять значения"),
              button("buttonClearMO", "Сбросить усреднение"),
              button("buttonAddDataCoef", "Добавить данные",
                     toolTip="Добавляет данные для расчета коэффициентов")), 3, 0, 1, 4),
        (hbox(button("pbChooseSaveDir", "Сохранять как"),
              label("lbSaveFilesReady", "❌", toolTip="Каталоги для сохранения выбраны"),
              hstretch(),
              button("pbEndCalibration", "Закончить калибровку")), 4, 0, 1, 4),
    ], margins=8))

    for g in (poll, capture):
        g.props["sizePolicy"] = Raw(_size_policy("Preferred", "Maximum"))
    table_row = hbox(button("buttonClearTable", "Очистить"), check("checkBoxClear", "Очищать экран"),
                     hstretch())
    # One above the other: side by side they made the tab wider than a
    # 1024 pixel screen.
    right = vbox(hbox(poll, hstretch(), stretch="0,1"), hbox(capture, hstretch(), stretch="0,1"),
                 W("QTableView", "tableView", minimumSize=Size((0, 60))), table_row,
                 stretch="0,0,1,0")
    return tab("tabFunction3", "Считать ток и 4 переменные", hbox(channels, right, stretch="0,1", margins=6))


# ------------------------------------------------------------- tab 2

def tab_calibration():
    rows = [
        (column_head("Значение"), 0, 1), (column_head("Считанное значение"), 0, 3),
    ]
    # (label name, caption, input, set button, read-back, get button)
    value_rows = [
        ("label_53", "Значение давления", None, None, line("lineEditGetPressue", width=FIELD_W, readonly=True), "buttonGetPressue"),
        ("label_54", "Значение тока", None, None, line("lineEditGetCurrent", width=FIELD_W, readonly=True), "buttonGetCurrent"),
        ("label_55", "Режим работы", combo("comboBoxSetMode", FIELD_W), "buttonSetMode", line("lineEditGetMode", width=FIELD_W, readonly=True), "buttonGetMode"),
        ("label_60", "Пароль на запись в EEPROM", line("leSetEEPROMPaswd", width=FIELD_W), "pbSetEEPROMPaswd", line("leGetEEPROMPaswd", width=FIELD_W, readonly=True), "pbGetEEPROMPaswd"),
        ("label_40", "Режим работы по току", spin("current_reg_spinBox", 0, 255, 0, width=FIELD_W), "current_reg_setButton", line("current_reg_recv_lineEdit", width=FIELD_W, readonly=True), "current_reg_recvButton"),
        ("label_63", "Серийный номер", line("leSetSerial", width=FIELD_W), "pbSetSerial", line("leGetSerial", width=FIELD_W, readonly=True), "pbGetSerial"),
        ("label_56", "Количество точек скользящего среднего U1, U2", spin("spinBoxMovingAverage_1", 0, 255, 1, width=FIELD_W), "buttonMovingAverage_1", line("lineEditGetMovingAverage_1", width=FIELD_W, readonly=True), "buttonGetMovingAverage_1"),
        ("label_57", "Количество точек скользящего среднего U3, U4", spin("spinBoxMovingAverage_2", 0, 255, 1, width=FIELD_W), "buttonMovingAverage_2", line("lineEditGetMovingAverage_2", width=FIELD_W, readonly=True), "buttonGetMovingAverage_2"),
        ("label_59", "Максимальный верхний предел диапазона измерений, Па(Pmax)", line("lineEditSetMaxValue", width=FIELD_W), "buttonSetMaxValue", line("lineEditMaxValueGet", width=FIELD_W, readonly=True), "buttonGetMaxValue"),
        ("label_58", "Адрес устройства", combo("comboBoxSetAddress", FIELD_W), "buttonSetAddress", line("lineEditGetAddress", width=FIELD_W, readonly=True), "buttonGetAddress"),
    ]
    for r, (lname, cap, inp, setb, rb, getb) in enumerate(value_rows, start=1):
        rows.append((label(lname, cap, wordWrap=True, minimumSize=Size((170, 0))), r, 0))
        if inp is not None:
            rows.append((inp, r, 1))
            rows.append((button(setb, SET), r, 2))
        rows.append((rb, r, 3))
        rows.append((button(getb, GET), r, 4))
    values = group("groupBoxCalibValues", "Параметры устройства",
                   grid(rows, colstretch="2,1,0,1,0"))

    ops = group("groupBoxCalibOps", "Операции", vbox(
        button("buttonZero", "Установка нуля"),
        button("buttonSpan", "Установить верхнее значение диапазона"),
        button("buttonZeroFirstVar", "Установить нуль первичной переменной"),
        button("buttonFindCoefMNK", "Рассчитать коэффициенты(МНК)"),
        button("pbRebootDevice_5", REBOOT),
    ))
    fixed = group("groupBoxFixedCurrent", "Фиксированный ток", grid([
        (check("checkBoxFixedCurrent", "Фиксированное значение тока, мА"), 0, 0, 1, 2),
        (line("lineEditSetFixedCurrent", width=80), 1, 0),
        (button("buttonSetFixedCurrent", SET), 1, 1),
        (W("QRadioButton", "radioButton_4_20", text="4...&20 мА", checked=True), 2, 0),
        (W("QRadioButton", "radioButton_38_21", text="&3,8...21 мА"), 2, 1),
    ]))
    sensor = group("groupBoxSensorType", "Тип сенсора", hbox(
        check("checkBoxVakum", "Вакууметр"), check("checkBoxCapacitor", "Емкостной"),
        check("cbTenzo1", "1-тензо"), hstretch()))
    # The fixed current goes with the operations, beside the value rows, and
    # the sensor type in one row under them: below the value rows both made
    # the tab need a scroll bar at 768 pixels.
    side = vbox(ops, fixed, W("QLabel", None, text="Сообщения", font=font_bold()),
                status_pane("textEditStatusCalibration", 60), stretch="0,0,0,1")
    left = vbox(values, sensor, vstretch(), stretch="0,0,1")
    body = hbox(left, side, stretch="3,2")
    return tab("tabCalibration", "Калибровка",
               vbox(scroll("scrollAreaCalibration", "scrollAreaCalibrationContents", body),
                    margins=0))


# ------------------------------------------------------------- tab 3

KDSP_LABELS = ["label_24", "label_25", "label_26", "label_28", "label_29", "label_31",
               "label_32", "label_33", "label_34", "label_35", "label_36"]
COEFS = ["a42", "a41", "a40", "b42", "b41", "b40", "c42", "c41", "c40", "c43", "t42", "t41", "t40"]


def coef_group(name, title, entries, prefix, corner=None):
    """entries: (label name, caption, receive field, set field)."""
    rows = [(column_head("Считано"), 0, 1), (column_head("Записать"), 0, 2)]
    for r, (lname, cap, recv, sett) in enumerate(entries, start=1):
        rows.append((label(lname, cap), r, 0))
        rows.append((line(recv, width=100, readonly=True), r, 1))
        rows.append((line(sett, width=100), r, 2))
    n = len(entries) + 1
    rows.append((button(prefix + "_getButton", GET), n, 1))
    rows.append((button(prefix + "_setButton", WRITE), n, 2))
    rows.append((button(prefix + "_clearButton_req", CLEAR), n + 1, 1))
    rows.append((button(prefix + "_clearButton_set", CLEAR), n + 1, 2))
    if corner is not None:
        rows.append((corner, n + 1, 0, 1, 1, "Qt::AlignLeft"))
    rows.append((vstretch(), n + 2, 0))
    return group(name, title, grid(rows, colstretch="0,1,1"))


def tab_kdsp():
    kdsp = [("labelIdacZero", "Баланс нуля токового выхода", "idaczero_recvEdit", "idaczero_setEdit"),
            ("labelIdacCoef", "Коэффициент коррекции токового выхода", "idaccoef_recvEdit", "idaccoef_setEdit")]
    for k in range(11):
        kdsp.append((KDSP_LABELS[k], "Поправочный коэффициент для диапазона №%d" % k,
                     "kdsp%d_recvEdit" % k, "kdsp%d_setEdit" % k))
    coefs = [("labelCoef_" + c, "Коэффициент " + c, "coef_%s_recvEdit" % c, "coef_%s_setEdit" % c)
             for c in COEFS]
    body = vbox(hbox(coef_group("groupBoxKdsp", "Токовый выход и поправки по диапазонам", kdsp, "kdsp",
                                corner=button("pbRebootDevice_4", REBOOT)),
                     coef_group("groupBoxCoef", "Коэффициенты a, b, c, t", coefs, "coef"),
                     stretch="3,2"),
                vstretch())
    return tab("kdsp_tab", "Настройка по диапазонам",
               vbox(scroll("scrollAreaKdsp", "scrollAreaKdspContents", body), margins=0))


# ------------------------------------------------------------- tab 4

MODEL_TEXT = (
    "<html><head/><body>"
    "<p><b>Полиномиальная модель</b></p>"
    "<p>F = ak3·dP<sup>3</sup> + ak2·dP<sup>2</sup> + ak1·dP + ak0</p>"
    "<p>F — расход, уровень или плотность в выбранных единицах измерения, "
    "dP — перепад давления, Па.</p>"
    "<p>Fmin и Fmax ограничивают вычисленное значение.</p>"
    "</body></html>")


def tab_misc():
    entries = [("labelAk%d" % k, "Коэффициент ak%d" % k, "ak%d_recvEdit" % k, "ak%d_setEdit" % k)
               for k in (3, 2, 1, 0)]
    entries += [("labelKmax", "Fmax", "valueKmax_recvEdit", "valueKmax_setEdit"),
                ("labelKmin", "Fmin", "valueKmin_recvEdit", "valueKmin_setEdit")]
    ak = coef_group("groupBoxAk", "Коэффициенты косвенного расчета", entries, "ak")
    model = W("QLabel", "label_74", text=MODEL_TEXT, textFormat=Enum("Qt::RichText"),
              wordWrap=True, alignment=Set("Qt::AlignLeft|Qt::AlignTop"),
              frameShape=Enum("QFrame::StyledPanel"), margin=8)
    query = group("groupBoxPressureQuery", "Текущее значение", hbox(
        label("lMeasType", "Давление:"),
        dspin("sbPressure", -1e9, 1e9, 0, 1, 3, width=140, readOnly=True,
              buttonSymbols=Enum("QAbstractSpinBox::NoButtons")),
        label("lMeasUnits", "Па", minimumSize=Size((40, 0))),
        hstretch(),
        button("pbQueryPressure", "Начать опрос")))
    side = vbox(model, query, vstretch(), reboot_row("pbRebootDevice_3"))
    return tab("tabMiscCoefs", "Коэф. косвенного расчета", hbox(ak, side, stretch="1,1"))


# ------------------------------------------------------------- tab 5

def tab_device():
    lw = Size((250, 0))
    dtype = group("groupBoxDeviceType", "Тип датчика", grid([
        (label("label", "Обозначение датчика", minimumSize=lw), 0, 0),
        (combo("comboBoxCurrentDevice", 140), 0, 1),
        (label("label_2", "Код модели"), 1, 0),
        (spin("spinBoxSensorCode", 1, 8, 1, width=80), 1, 1),
        (hbox(button("buttonSetDeviceType", SET), button("buttonGetDeviceType", GET)), 0, 2, 2, 1),
    ], colstretch="0,1,0"))
    rng = group("groupBoxRange", "Диапазон измерений", grid([
        (label("label_3", "Верхний предел измерений(Pv)", minimumSize=lw), 0, 0),
        (W("QSlider", "sliderChooseRange", orientation=Enum("Qt::Horizontal"),
           minimumSize=Size((160, 0))), 0, 1),
        (label("labelChooseRange", "0", minimumSize=Size((70, 0)),
               alignment=Set("Qt::AlignRight|Qt::AlignVCenter")), 0, 2),
        (button("buttonSetRange", SET), 0, 3),
        (label("label_16", "Нижний предел измерений(Pn)"), 1, 0),
        (W("QSlider", "sliderChooseRangeMin", orientation=Enum("Qt::Horizontal"),
           minimumSize=Size((160, 0))), 1, 1),
        (label("labelChooseRangeMin", "0", minimumSize=Size((70, 0)),
               alignment=Set("Qt::AlignRight|Qt::AlignVCenter")), 1, 2),
        (button("buttonSetRangeMin", SET), 1, 3),
        (label("label_20", "Единицы измерения"), 2, 0),
        (combo("comboBoxMesure", 140), 2, 1, 1, 2),
        (button("buttonSetMesureUnit", SET), 2, 3),
    ], colstretch="0,1,0,0"))
    tune = group("groupBoxDeviceTuning", "Параметры", grid([
        (label("label_15", "Баланс нуля токового выхода", minimumSize=lw), 0, 0),
        (spin("spinBoxSensorCode_2", 0, 255, 0, width=100), 0, 1),
        (button("buttonSetBalanceZero", SET), 0, 2),
        (label("label_65", "Количество точек скользящего среднего"), 1, 0),
        (spin("spinBoxMovingAverage_3", 0, 255, 1, width=100), 1, 1),
        (button("buttonMovingAverage_3", SET), 1, 2),
        (label("label_73", "Учитываемая амплитуда импульса, %"), 2, 0),
        (dspin("sbFilterAmp", 0, 100, 0, 0.1, 1, width=100), 2, 1),
        (button("pbSetFilterAmp", SET), 2, 2),
    ], colstretch="0,1,0"))
    ops = group("groupBoxDeviceOps", "Операции", grid([
        (button("buttonZero_2", "Баланс нуля по давлению"), 0, 0),
        (button("buttonSpan_2", "Установить верхнее значение диапазона"), 0, 1),
        (button("pbMemDump", "Считать коэффициенты"), 1, 0),
        (button("pbRebootDevice", REBOOT), 1, 1),
    ]))
    left = vbox(dtype, rng, tune, ops, vstretch())
    right = vbox(W("QLabel", None, text="Сообщения", font=font_bold()),
                 status_pane("textEditStatusSettingsDevice", 120))
    body = hbox(left, right, stretch="3,2")
    return tab("tabForDevice", "Настройка устройства",
               vbox(scroll("scrollAreaDevice", "scrollAreaDeviceContents", body), margins=0))


# ------------------------------------------------------------- tab 6

def tab_settings():
    poll = W("QFrame", "framePollSettings", frameShape=Enum("QFrame::StyledPanel"), layout=vbox(
        label("label_4", "Настройка опроса", font=font_bold()),
        grid([
            (label("label_12", "Обычный режим", alignment=Set("Qt::AlignCenter")), 0, 1, 1, 2),
            (label("label_13", "Режим поиска", alignment=Set("Qt::AlignCenter")), 0, 3, 1, 2),
            (label("label_5", "Период опроса"), 1, 0),
            (spin("spinBoxTimer", 300, 5000, 500, width=90), 1, 1),
            (label("label_8", "мс"), 1, 2),
            (spin("spinBoxTimerFind", 300, 5000, 500, width=90), 1, 3),
            (label("label_11", "мс"), 1, 4),
            (label("label_6", "Таймаут"), 2, 0),
            (dspin("spinBoxTimeout", 1.0, 25.0, 3.0, 0.1, 1, width=90), 2, 1),
            (label("label_9", "с"), 2, 2),
            (dspin("spinBoxTimeoutFind", 1.0, 25.0, 3.0, 0.1, 1, width=90), 2, 3),
            (label("label_10", "с"), 2, 4),
            (label("label_7", "Кол-во повторных запросов"), 3, 0),
            (spin("spinBoxRepeat", 1, 10, 3, width=90), 3, 1),
            (spin("spinBoxRepeatFind", 1, 10, 1, width=90), 3, 3),
        ], colstretch="1,0,0,0,0"),
        hbox(hstretch(), button("buttonApplyMessegeSettings", "Применить")),
        vstretch()))
    com = W("QFrame", "frameComSettings", frameShape=Enum("QFrame::StyledPanel"), layout=vbox(
        label("label_76", "Настройки порта", font=font_bold()),
        grid([
            (label("label_77", "Скорость передачи"), 0, 0),
            (combo("comboBoxBaudRate", 110), 0, 1),
            (label("label_82", "бит/с"), 0, 2),
            (label("label_78", "Бит данных"), 1, 0),
            (combo("comboBoxDataBits", 110), 1, 1),
            (label("label_79", "Бит паритета"), 2, 0),
            (combo("comboBoxParity", 110), 2, 1),
            (label("label_80", "Стоп битов"), 3, 0),
            (combo("comboBoxStopBits", 110), 3, 1),
            (label("label_81", "Аппаратное квитирование"), 4, 0),
            (combo("cbFlowControl", 110), 4, 1),
            (label("label_83", "Задержка RTS"), 5, 0),
            (spin("sbRTS_Delay", 0, 999, 10, width=110), 5, 1),
            (label("label_84", "мс"), 5, 2),
        ], colstretch="1,0,0"),
        hbox(hstretch(), button("pbApplyComConf", "Применить")),
        vstretch()))
    bottom = hbox(button("pbRebootDevice_2", REBOOT), hstretch(),
                  button("pbResetProgramSettings", "Сбросить настройки программы",
                         palette=button_text_palette(170, 0, 0)))
    body = vbox(hbox(poll, com, hstretch(), stretch="0,0,1"), bottom, vstretch())
    return tab("tabSettings", "Настройка программы", body)


# ------------------------------------------------------------- window

def main_window():
    tabs = W("QTabWidget", "tabWidget",
             children=[tab_developer(), tab_function3(), tab_calibration(), tab_kdsp(),
                       tab_misc(), tab_device(), tab_settings()],
             styleSheet="QTabBar::tab { height: 20px;}\n", currentIndex=6)
    central = W("QWidget", "centralWidget",
                layout=vbox(*header(), tabs, name="centralLayout", margins=6, spacing=6,
                            stretch="0,0,1"))

    ui = ET.Element("ui", version="4.0")
    ET.SubElement(ui, "class").text = "MainWindow"
    win = ET.SubElement(ui, "widget", {"class": "QMainWindow", "name": "MainWindow"})
    geo = ET.SubElement(ET.SubElement(win, "property", name="geometry"), "rect")
    for tag, v in (("x", 0), ("y", 0), ("width", 1183), ("height", 720)):
        ET.SubElement(geo, tag).text = str(v)
    _prop(win, "maximumSize", Size((1800, 16777215)))
    _prop(win, "windowTitle", "Tesmar")
    icon = ET.SubElement(ET.SubElement(win, "property", name="windowIcon"), "iconset",
                         resource="../resources/tesmar.qrc")
    ET.SubElement(icon, "normaloff").text = ":/icons/tesmar.png"
    icon.text = None
    icon[-1].tail = ":/icons/tesmar.png"
    win.append(central.xml())

    menubar = ET.SubElement(win, "widget", {"class": "QMenuBar", "name": "menuBar"})
    menu = ET.SubElement(menubar, "widget", {"class": "QMenu", "name": "menu"})
    _prop(menu, "title", "Параметры")
    ET.SubElement(menu, "addaction", name="parWind")
    ET.SubElement(menu, "addaction", name="actionSettings")
    ET.SubElement(menubar, "addaction", name="menu")

    tb = ET.SubElement(win, "widget", {"class": "QToolBar", "name": "mainToolBar"})
    a = ET.SubElement(tb, "attribute", name="toolBarArea")
    ET.SubElement(a, "enum").text = "TopToolBarArea"
    a = ET.SubElement(tb, "attribute", name="toolBarBreak")
    ET.SubElement(a, "bool").text = "false"
    ET.SubElement(win, "widget", {"class": "QStatusBar", "name": "statusBar"})

    for name, text in (("parWind", "Параметры расчета"), ("actionSettings", "Настройки")):
        act = ET.SubElement(win, "action", name=name)
        _prop(act, "text", text)

    ET.SubElement(ui, "layoutdefault", spacing="6", margin="11")
    res = ET.SubElement(ui, "resources")
    ET.SubElement(res, "include", location="../resources/tesmar.qrc")
    ET.SubElement(ui, "connections")
    return ui


def main():
    ui = main_window()
    ET.indent(ui, space=" ")
    out = ET.tostring(ui, encoding="unicode")
    sys.stdout.write('<?xml version="1.0" encoding="UTF-8"?>\n' + out + "\n")


if __name__ == "__main__":
    main()
