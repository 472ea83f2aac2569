// Construction and destruction of the main window: what it owns, the fixed
// lists, the polling rows, the palettes, the scan box and the poll timing.

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "link/protocolcomhart.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QScrollBar>
#include <QTabBar>
#include <QStandardItemModel>
#include <QTextCodec>

// The resource lives in the static GUI library, so it has to be registered
// explicitly; the function must be reached from the global namespace.
static void initTesmarResources()
{
    Q_INIT_RESOURCE(tesmar);
}

namespace {
struct Item
{
    const char *text;
    int data;
};

void fillCombo(QComboBox *box, const Item *items, int n)
{
    box->clear();
    for (int i = 0; i < n; ++i)
        box->addItem(QString::fromUtf8(items[i].text), items[i].data);
}

// Command choice of the developer console.
const Item functionItems[] = {
    {"0.Считать уникальный идентификатор", 0},
    {"3.Считать ток и значение четырех динамических переменных", 3},
    {"51.Чтение нескольких регистров", 51},
    {"91.Запись нескольких регистров", 91},
};

// Register presets of the developer console. The letters A, B and C are Latin
// except the last letter of "B и С", which is Cyrillic.
const Item registerItems[] = {
    {"Pstat 0x1E", 1},
    {"dP 0x22", 2},
    {"U1nh 0x26", 3},
    {"U2nh 0x2A", 4},
    {"U10 0x2E", 5},
    {"U20 0x32", 6},
    {"Баланс нуля", 7},
    {"Все", 8},
    {"Баланс токового выхода", 9},
    {"Режим работы по току", 10},
    {"Коэффициенты A", 11},
    {"Коэффициенты B и \xD0\xA1", 12},
    {"Коэффициенты B", 13},
    {"Коэффициенты C", 14},
};

const Item modeItems[] = {
    {"HART (1)", 1},     {"HART (2)", 2},     {"RS-485 (1)", 3},   {"RS-485 (2)", 4},
    {"RS-485 (3)", 5},   {"RS-485 (4)", 6},   {"RS-485 (5)", 7},   {"RS-485 (6)", 8},
    {"RS-485 (7)", 9},   {"RS-485 (8)", 10},  {"RS-485 (9)", 11},
};

const Item deviceItems[] = {
    {"ЛТ3920ДИ", 1},  {"ЛТ3920ДА", 2},  {"ЛТ3920ДД", 3},   {"ЛТ3920ДВ", 4},
    {"ЛТ3920ДВИ", 5}, {"ЛТ3920ДИ1", 1}, {"ЛТ3920ДВ1", 4},  {"ЛТ3920ДВИ1", 5},
};

// "кгc/см2" has a Latin "c", "°C" a Latin "C", "мм вод.ст. (4°С)" a Cyrillic "С".
const Item unitItems[] = {
    {"Па", 0},
    {"кПа", 1},
    {"МПа", 2},
    {"кг" "c" "/см2", 3},
    {"бар", 4},
    {"мм рт.ст.", 5},
    {"мм вод.ст. (4°\xD0\xA1)", 6},
    {"физич. атм.", 7},
    {"мА", 8},
    {"°" "C", 9},
    {"мл/мин", 10},
    {"л/ч", 11},
    {"м3/ч", 12},
    {"мм", 13},
    {"см", 14},
    {"м", 15},
    {"г/л", 16},
    {"г/см3", 17},
    {"кг/м3", 18},
};

template <typename T, int N>
constexpr int countOf(const T (&)[N]) { return N; }
}

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
{
    initTesmarResources();

    // 1. What the window owns.
    ui = new Ui::MainWindow;
    link = new protocolComHart(nullptr);
    measurementModel = new QStandardItemModel(this);
    msgBoxScanAddr = new QMessageBox(this);
    password = QStringLiteral("7391");
    busy = interfaceLocked = loopRunning = scanRunning = false;
    initCalibrationFiles();

    // 2. The form, and the calibration-capture start state.
    ui->setupUi(this);
    setWindowIcon(QIcon(QStringLiteral(":/icons/tesmar.png")));
    // A slightly smaller tab font so that all seven titles fit the initial
    // width without scroll arrows.
    QFont tabFont = ui->tabWidget->tabBar()->font();
    tabFont.setPointSizeF(tabFont.pointSizeF() * 0.9);
    ui->tabWidget->tabBar()->setFont(tabFont);
    ui->checkBoxCakibrationMiddle->setChecked(true);
    ui->buttonMO->setEnabled(false);
    ui->buttonAddDataCoef->setEnabled(false);
    pressurePlus = double(ui->spinBoxPressuePos->value());
    pressureMinus = double(ui->spinBoxPressueNeg->value());

    // 3. Every text the program handles is UTF-8.
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));

    // 4. Fixed lists and the port list.
    fillFixedLists();
    loadPreferredPort();
    updateCOM();

    // 5. Polling channel rows and mean rows.
    createChannelRows();

    // 6-7. Persisted state, timing, connections of every subsystem.
    readSettings();
    connectShellSignals();
    setupConsole();
    setupScan();
    setupDeviceOperations();
    setupPolling();
    setupCalc();
    setupDeviceData();
    setupProgramSettings();
    setupMonitor();
    setupGuided();

    // 8. Serial settings lists from the link's record.
    fillSerialSettings();

    // 9. Tabs and controls that start enabled; palettes; unit list of P+/P-.
    ui->tabWidget->setEnabled(true);
    for (int i = TabDeveloper; i <= TabDevice; ++i)
        ui->tabWidget->setTabEnabled(i, true);
    ui->buttonGetDeviceType->setEnabled(true);
    ui->spinBoxMovingAverage_3->setEnabled(true);
    setupPalettes();
    ui->cbMU4var->clear();
    ui->cbMU4var->addItem(QStringLiteral("Па"));
    ui->cbMU4var->addItem(QStringLiteral("кПа"));
    ui->cbMU4var->addItem(QString::fromUtf8("M" "Па"));   // Latin "M"

    // 10. Scan box; status bar, message log and progress.
    setupScanBox();
    setupStatusBar();
    setupHistory();

    // 11. Start locked.
    busy = false;
    blockInterface();
}

MainWindow::~MainWindow()
{
    writeSettings();
    delete link;    // closes the port
    link = nullptr;
    delete ui;
}

void MainWindow::fillAddressList(QComboBox *box)
{
    box->clear();
    for (int a = 0; a < 16; ++a)
        box->addItem(QStringLiteral("%1").arg(a, 2, 16, QLatin1Char('0')), a);
}

void MainWindow::fillFixedLists()
{
    fillCombo(ui->comboBoxFunc, functionItems, countOf(functionItems));
    fillCombo(ui->comboBoxRegisters, registerItems, countOf(registerItems));
    fillAddressList(ui->comboBoxMainAddr);
    fillAddressList(ui->comboBoxSetAddress);
    fillCombo(ui->comboBoxSetMode, modeItems, countOf(modeItems));
    fillCombo(ui->comboBoxCurrentDevice, deviceItems, countOf(deviceItems));
    fillCombo(ui->comboBoxMesure, unitItems, countOf(unitItems));
}

void MainWindow::createChannelRows()
{
    pollChannels.resize(ChannelCount);
    meanDisplay.resize(ChannelCount);
    for (int i = 0; i < ChannelCount; ++i) {
        PollChannel &ch = pollChannels[i];
        ch.enable = new QCheckBox(QStringLiteral("Устр-во %1").arg(i + 1), ui->scrollAreaWidgetContents_2);
        ch.enable->setObjectName(QStringLiteral("checkBoxDev_%1").arg(i));
        ch.address = new QComboBox(ui->scrollAreaWidgetContents_2);
        ch.address->setObjectName(QStringLiteral("comboBoxDev_%1").arg(i));
        fillAddressList(ch.address);
        ui->devsGridLayout->addWidget(ch.enable, i, 0);
        ui->devsGridLayout->addWidget(ch.address, i, 1);

        MeanDisplayRow &row = meanDisplay[i];
        row.label = new QLabel(QStringLiteral("У%1").arg(i + 1), ui->scrollAreaWidgetContents_2);
        row.label->setObjectName(QStringLiteral("labelAvg_%1").arg(i));
        row.label->setFixedWidth(25);
        row.field = new QLineEdit(ui->scrollAreaWidgetContents_2);
        row.field->setObjectName(QStringLiteral("lineEditAvg_%1").arg(i));
        row.field->setReadOnly(true);
        row.field->setFixedWidth(200);
        ui->devsAvgGridLayout->addWidget(row.label, i, 0);
        ui->devsAvgGridLayout->addWidget(row.field, i, 1);
    }
    fitChannelArea();
}

void MainWindow::fitChannelArea()
{
    // The channel list scrolls only vertically: keep the area as wide as its
    // rows, which changes when the mean rows are shown or hidden.
    QWidget *contents = ui->scrollAreaWidgetContents_2;
    contents->layout()->invalidate();
    contents->layout()->activate();
    const int width = contents->layout()->minimumSize().width()
                      + ui->scrollArea->verticalScrollBar()->sizeHint().width()
                      + 2 * ui->scrollArea->frameWidth();
    ui->scrollArea->setFixedWidth(width);
}

void MainWindow::setupPalettes()
{
    auto make = [](const QColor &base) {
        QPalette p;
        p.setColor(QPalette::Base, base);
        p.setColor(QPalette::Text, Qt::black);
        return p;
    };
    paletteNormal = make(Qt::white);
    paletteSuccess = make(Qt::green);
    paletteFailure = make(Qt::red);
}

void MainWindow::setupScanBox()
{
    msgBoxScanAddr->setStandardButtons(QMessageBox::Ok);
    msgBoxScanAddr->hide();
}

void MainWindow::connectShellSignals()
{
    connect(ui->buttonUpdateCom, &QPushButton::clicked, this, &MainWindow::updateCOM);
    connect(ui->buttonConnectPort, &QPushButton::clicked, this, &MainWindow::connectCOM);
    connect(ui->buttonClosePort, &QPushButton::clicked, this, &MainWindow::closeCOM);
    connect(ui->buttonApplyMessegeSettings, &QPushButton::clicked,
            this, &MainWindow::applyMessegeSettings);
    connect(ui->pbApplyComConf, &QPushButton::clicked, this, &MainWindow::onApplyComConf);
    // Direct: answers are handled in the order the link reports them.
    connect(link, &protocolComHart::answerGet, this, &MainWindow::answerIsGet, Qt::DirectConnection);
    connect(link, &protocolComHart::lineLost, this, &MainWindow::onLineLost);
    connect(link, &protocolComHart::repeatEnded, this, &MainWindow::onRepeatEnded);
}

void MainWindow::applyMessegeSettings()
{
    // Rounded rather than truncated: 2.3 s is held as 2.2999... and must
    // still give 2300 ms.
    pollPeriod = ui->spinBoxTimer->value();
    pollTimeout = qRound(ui->spinBoxTimeout->value() * 1000.0);
    pollRepeats = ui->spinBoxRepeat->value();
    scanPeriod = ui->spinBoxTimerFind->value();
    scanTimeout = qRound(ui->spinBoxTimeoutFind->value() * 1000.0);
    scanRepeats = ui->spinBoxRepeatFind->value();
}
