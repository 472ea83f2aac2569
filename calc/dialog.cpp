#include "calc/dialog.h"

#include "app/textfiledialog.h"
#include "devicedata/parametersfile.h"
#include "ui_dialog.h"

#include <QDebug>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

namespace {

QString shown(float v)
{
    return QString::number(v, 'g', 6);
}

float fieldValue(const QLineEdit *e)
{
    return ParameterVector::fromText(e->text());
}

const char *const kFileFilter = QT_TRANSLATE_NOOP("Dialog", "Текстовый файл (*.txt);;Все файлы (*)");

} // namespace

Dialog::Dialog(QWidget *parent)
    : QDialog(parent), ui(new Ui::Dialog)
{
    ui->setupUi(this);
    setWindowTitle(QStringLiteral("Параметры прибора"));
    resize(467, 734);
    setModal(true);
    setSizeGripEnabled(false);

    connect(ui->buttonSave2File, &QPushButton::clicked, this, &Dialog::save2File);
    connect(ui->buttonReadFromFile, &QPushButton::clicked, this, &Dialog::readFromFile);
    connect(ui->buttonDownLoad2Device, &QPushButton::clicked, this, &Dialog::sendSignalDownload);
    connect(ui->buttonUploadFromDevice, &QPushButton::clicked, this, &Dialog::sendSignalUpload);
    // buttonRecalc reaches on_buttonRecalc_clicked by its name.
    connect(ui->buttonBox, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

Dialog::~Dialog()
{
    delete ui;
}

void Dialog::setValues(float Pmax, float Uk1h, float Uk2h, float U10, float U20,
                       const std::array<float, 6> &u1, const std::array<float, 6> &u2,
                       const std::array<float, 6> &u4, const std::array<float, 3> &a,
                       const std::array<float, 3> &b, const std::array<float, 3> &c, float c43,
                       bool polynomial)
{
    ui->lineEditCoefPstat->setText(shown(Pmax));

    float k1, k2, shownUk2h = Uk2h, shownU20 = U20;
    if (polynomial) {
        // One polynomial over the difference signal: a single gain, and the
        // second channel's zero and span are those of the first.
        const float x = Uk1h - U10;
        qDebug() << x;
        k1 = k2 = Pmax / (c[0] * x * x + c[1] * x + c[2] + c43 * x * x * x);
        shownUk2h = Uk1h;
        shownU20 = U10;
    } else {
        k1 = Pmax / (Uk1h - U10);
        k2 = Pmax / (Uk2h - U20);
    }
    ui->lineEditCoefUk1h->setText(shown(Uk1h));
    ui->lineEditCoefUk2h->setText(shown(shownUk2h));
    ui->lineEditCoefU10->setText(shown(U10));
    ui->lineEditCoefU20->setText(shown(shownU20));
    ui->lineEditCoefK1->setText(shown(k1));
    ui->lineEditCoefK2->setText(shown(k2));

    const std::array<QLineEdit *, 6> row1 = {ui->lineEditCoefU1l, ui->lineEditCoefU1n, ui->lineEditCoefU1h,
                                             ui->lineEditCoefU1hl, ui->lineEditCoefU1hn, ui->lineEditCoefU1hh};
    const std::array<QLineEdit *, 6> row2 = {ui->lineEditCoefU2l, ui->lineEditCoefU2n, ui->lineEditCoefU2h,
                                             ui->lineEditCoefU2hl, ui->lineEditCoefU2hn, ui->lineEditCoefU2hh};
    const std::array<QLineEdit *, 6> row4 = {ui->lineEditCoefU4l, ui->lineEditCoefU4n, ui->lineEditCoefU4h,
                                             ui->lineEditCoefU4hl, ui->lineEditCoefU4hn, ui->lineEditCoefU4hh};
    for (int i = 0; i < 6; ++i) {
        row1[i]->setText(shown(u1[i]));
        row2[i]->setText(shown(u2[i]));
        row4[i]->setText(shown(u4[i]));
    }

    showTriples(a, b, c);
    ui->lineEditCoefC43->setText(shown(c43));

    m_U10 = U10;
    m_U20 = U20;
    m_Uk1h = Uk1h;
    m_Uk2h = Uk2h;
}

void Dialog::setValues(const CalibrationCoefficients &v)
{
    setValues(v.Pmax, v.Uk1h, v.Uk2h, v.U10, v.U20, v.var1, v.var2, v.var4, v.a, v.b, v.c, v.c43,
              v.polynomial);
}

void Dialog::showTriples(const std::array<float, 3> &a, const std::array<float, 3> &b,
                         const std::array<float, 3> &c)
{
    const std::array<QLineEdit *, 9> fields = {
        ui->lineEditCoefA42, ui->lineEditCoefA41, ui->lineEditCoefA40,
        ui->lineEditCoefB42, ui->lineEditCoefB41, ui->lineEditCoefB40,
        ui->lineEditCoefC42, ui->lineEditCoefC41, ui->lineEditCoefC40};
    for (size_t i = 0; i < 3; ++i) {
        fields[i]->setText(shown(a[i]));
        fields[3 + i]->setText(shown(b[i]));
        fields[6 + i]->setText(shown(c[i]));
    }
}

std::array<QLineEdit *, ParameterVector::Count> Dialog::parameterFields() const
{
    return {
        ui->lineEditCoefUk1h, ui->lineEditCoefUk2h, ui->lineEditCoefU10, ui->lineEditCoefU20,
        ui->lineEditCoefA42, ui->lineEditCoefA41, ui->lineEditCoefA40,
        ui->lineEditCoefB42, ui->lineEditCoefB41, ui->lineEditCoefB40,
        ui->lineEditCoefC42, ui->lineEditCoefC41, ui->lineEditCoefC40,
        ui->lineEditCoefC43, ui->lineEditCoefPstat};
}

ParameterVector::Values Dialog::parameterVector() const
{
    using namespace ParameterVector;
    Values v{};
    const auto fields = parameterFields();
    for (int i = 0; i < Count; ++i)
        v[static_cast<size_t>(i)] = fieldValue(fields[static_cast<size_t>(i)]);
    return v;
}

void Dialog::on_buttonRecalc_clicked()
{
    RecalcInputs in;
    in.Pmax = fieldValue(ui->lineEditCoefPstat);
    in.U10 = fieldValue(ui->lineEditCoefU10);
    in.U20 = fieldValue(ui->lineEditCoefU20);
    // K1 and K2 as shown: the operator may have corrected them by hand.
    in.K1 = fieldValue(ui->lineEditCoefK1);
    in.K2 = fieldValue(ui->lineEditCoefK2);
    in.U1l = fieldValue(ui->lineEditCoefU1l);
    in.U2l = fieldValue(ui->lineEditCoefU2l);
    in.U4l = fieldValue(ui->lineEditCoefU4l);
    in.U4n = fieldValue(ui->lineEditCoefU4n);
    in.U1h = fieldValue(ui->lineEditCoefU1h);
    in.U2h = fieldValue(ui->lineEditCoefU2h);
    in.U4h = fieldValue(ui->lineEditCoefU4h);
    in.U1hl = fieldValue(ui->lineEditCoefU1hl);
    in.U1hh = fieldValue(ui->lineEditCoefU1hh);

    const RecalcResult r = recalculateTwoGauge(in);
    if (!r.ok) {
        // Coefficients that are no numbers must not reach the fields, from
        // where they would be written to the device.
        showError(r.error);
        return;
    }
    showTriples(r.a, r.b, r.b);
}

void Dialog::save2File()
{
    const QString name = suggestedFileName ? suggestedFileName() : QString();
    const QString path = TextFileDialog::getSaveFileName(this, tr("Save File"), QStringLiteral("data"),
                                                         name.isEmpty() ? QStringLiteral("untitled") : name,
                                                         tr(kFileFilter));
    // A cancelled choice is no file to write to.
    if (!path.isEmpty())
        emit saveToFile(path);
}

void Dialog::readFromFile()
{
    const QString path = QFileDialog::getOpenFileName(this, tr("Load File"), QStringLiteral("data/untitled"),
                                                      tr(kFileFilter));
    if (!path.isEmpty())
        readFromPath(path);
}

bool Dialog::readFromPath(const QString &path)
{
    const ParametersFile::LoadResult r = ParametersFile::load(path);
    if (r.status != ParametersFile::LoadStatus::Ok)
        return false;   // the reader has said why on the diagnostic stream

    const auto fields = parameterFields();
    const QStringList &keys = ParameterVector::keys();
    for (int i = 0; i < ParameterVector::Count; ++i) {
        const int at = ParametersFile::recordIndex(keys[i].toLatin1());
        if (at >= 0 && r.found[static_cast<size_t>(at)])
            fields[static_cast<size_t>(i)]->setText(shown(r.values[static_cast<size_t>(at)]));
    }
    m_record = r.values;
    emit fileIsParsed(m_record.data());
    return true;
}

void Dialog::sendSignalDownload()
{
    emit download();
}

void Dialog::sendSignalUpload()
{
    emit upload();
}

void Dialog::showError(const QString &text)
{
    auto *box = new QMessageBox(QMessageBox::Critical, QStringLiteral("Ошибка"), text.trimmed(),
                                QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}
