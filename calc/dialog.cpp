#include "calc/dialog.h"

#include "app/progresspanel.h"
#include "app/textfiledialog.h"
#include "devicedata/numbertext.h"
#include "devicedata/parametersfile.h"
#include "ui_dialog.h"

#include <QDebug>
#include <QFileDialog>
#include <QHash>
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

// The caption a refusal names a field by: its label in the dialog, with the
// column for the reference voltages.
QString captionOf(const QLineEdit *e)
{
    QString name = e->objectName();
    name.remove(QStringLiteral("lineEditCoef"));
    static const QHash<QString, QString> labels = {
        {QStringLiteral("Pstat"), QStringLiteral("Pmax (Па)")},
        {QStringLiteral("Uk1h"), QStringLiteral("U1h (мкВ)")},
        {QStringLiteral("Uk2h"), QStringLiteral("U2h (мкВ)")},
        {QStringLiteral("U10"), QStringLiteral("U10 (мкВ)")},
        {QStringLiteral("U20"), QStringLiteral("U20 (мкВ)")},
    };
    const QString label = labels.value(name);
    if (!label.isEmpty())
        return label;
    // a42 ... c40, c43, K1, K2; U1l ... U4hh are the voltage and its column.
    if (name.size() > 1 && (name.at(0) == QLatin1Char('A') || name.at(0) == QLatin1Char('B')
                            || name.at(0) == QLatin1Char('C')))
        return name.left(1).toLower() + name.mid(1);
    if (name.startsWith(QLatin1Char('U')) && name.size() > 2)
        return name.left(2) + QLatin1Char(' ') + name.mid(2);
    return name;
}

QPalette redPalette()
{
    QPalette red;
    red.setColor(QPalette::Base, Qt::red);
    red.setColor(QPalette::Text, Qt::black);
    return red;
}

// Fields read by the rule for typed numbers: one that holds no number turns
// red and is named in problem(); the others go back to the normal colours.
class FieldReader
{
public:
    float operator()(QLineEdit *e)
    {
        const NumberText::InputValue v = NumberText::readInput(e->text(), NumberText::InputRule::real());
        if (v.ok) {
            e->setPalette(QPalette());
            return float(v.value);
        }
        e->setPalette(redPalette());
        m_problems << NumberText::inputRefusal(captionOf(e), v);
        return 0.0f;
    }
    bool ok() const { return m_problems.isEmpty(); }
    QString problem() const { return m_problems.join(QStringLiteral("; ")); }

private:
    QStringList m_problems;
};

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
    // New values start clean: the verdict of an earlier write or read and
    // the red marks of an earlier refusal do not speak for them. A run still
    // counting keeps its panel.
    for (ProgressPanel *panel : findChildren<ProgressPanel *>()) {
        if (panel->cancelButton()->isHidden())
            panel->hide();
    }
    for (QLineEdit *e : findChildren<QLineEdit *>())
        e->setPalette(QPalette());
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

void Dialog::markRefused(const QVector<int> &indices)
{
    const auto fields = parameterFields();
    for (int i : indices)
        if (i >= 0 && i < ParameterVector::Count)
            fields[size_t(i)]->setPalette(redPalette());
}

bool Dialog::checkedParameterVector(ParameterVector::Values *out, bool withPmax, const QString &notDone)
{
    FieldReader read;
    const auto fields = parameterFields();
    for (int i = 0; i < ParameterVector::Count; ++i) {
        if (i == ParameterVector::Pmax && !withPmax)
            (*out)[size_t(i)] = fieldValue(fields[size_t(i)]);
        else
            (*out)[size_t(i)] = read(fields[size_t(i)]);
    }
    if (read.ok())
        return true;
    refuse(notDone + QStringLiteral(": ") + read.problem());
    return false;
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
    FieldReader read;
    in.Pmax = read(ui->lineEditCoefPstat);
    in.U10 = read(ui->lineEditCoefU10);
    in.U20 = read(ui->lineEditCoefU20);
    // K1 and K2 as shown: the operator may have corrected them by hand.
    in.K1 = read(ui->lineEditCoefK1);
    in.K2 = read(ui->lineEditCoefK2);
    in.U1l = read(ui->lineEditCoefU1l);
    in.U2l = read(ui->lineEditCoefU2l);
    in.U4l = read(ui->lineEditCoefU4l);
    in.U4n = read(ui->lineEditCoefU4n);
    in.U1h = read(ui->lineEditCoefU1h);
    in.U2h = read(ui->lineEditCoefU2h);
    in.U4h = read(ui->lineEditCoefU4h);
    in.U1hl = read(ui->lineEditCoefU1hl);
    in.U1hh = read(ui->lineEditCoefU1hh);
    if (!read.ok()) {
        refuse(QStringLiteral("Пересчет не выполнен: ") + read.problem());
        return;
    }

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
    // Values that are no numbers would be written as 0, and a file of them
    // loaded back would go to the device.
    ParameterVector::Values checked{};
    if (!checkedParameterVector(&checked, true, QStringLiteral("Файл не сохранён")))
        return;
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
    if (r.status != ParametersFile::LoadStatus::Ok) {
        // A file that is not taken fills no field, and no record of an
        // earlier file is written in its place.
        m_loadedValues.clear();
        const QString text = QStringLiteral("Файл параметров не загружен: ") + r.problem
                + QStringLiteral(". Поля окна не изменены, в прибор из файла ничего не записывается");
        emit fileRefused(text);
        refuse(text);
        return false;
    }

    const auto fields = parameterFields();
    const QStringList &keys = ParameterVector::keys();
    for (int i = 0; i < ParameterVector::Count; ++i) {
        const int at = ParametersFile::recordIndex(keys[i].toLatin1());
        if (at >= 0 && r.found[static_cast<size_t>(at)]) {
            fields[static_cast<size_t>(i)]->setText(shown(r.values[static_cast<size_t>(at)]));
            fields[static_cast<size_t>(i)]->setPalette(QPalette());
        }
    }
    m_record = r.values;
    m_loadedValues.clear();
    if (r.complete()) {
        m_loadedValues = QVector<double>(r.exact.begin(), r.exact.end());
    } else {
        // Missing values would be written to the device as zeros.
        refuse(QStringLiteral("В файле нет ключей: ") + r.missingKeys().join(QStringLiteral(", "))
               + QStringLiteral(". Файл не будет записан в прибор целиком; «Загрузить в прибор» "
                                "запишет только коэффициенты из полей окна"));
    }
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

void Dialog::refuse(const QString &text)
{
    showError(text);
    emit refusal(text);
}

void Dialog::showError(const QString &text)
{
    auto *box = new QMessageBox(QMessageBox::Critical, QStringLiteral("Ошибка"), text.trimmed(),
                                QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}
