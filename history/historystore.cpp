#include "history/historystore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <cmath>
#include <limits>

namespace {

// The schema, one step per version. A step never changes: a database at
// version n has had exactly the steps up to n. Types and statements are the
// ones both engines read alike.
const char *const step1[] = {
    "CREATE TABLE schema_version (version INTEGER NOT NULL)",
    "INSERT INTO schema_version (version) VALUES (0)",
    "CREATE TABLE events (uid TEXT PRIMARY KEY, kind TEXT NOT NULL, at_utc TEXT NOT NULL, profile TEXT,"
    " port TEXT, operator_name TEXT, serial TEXT, device_model TEXT, ok INTEGER NOT NULL, summary TEXT)",
    "CREATE TABLE calculations (event_uid TEXT PRIMARY KEY, sensor_type TEXT, pmax DOUBLE PRECISION,"
    " fit_model TEXT, fit_tmin DOUBLE PRECISION, fit_tmid DOUBLE PRECISION, fit_tmax DOUBLE PRECISION,"
    " worst_percent DOUBLE PRECISION, worst_point TEXT, zero DOUBLE PRECISION)",
    "CREATE TABLE event_values (event_uid TEXT NOT NULL, seq INTEGER NOT NULL, name TEXT,"
    " value DOUBLE PRECISION, PRIMARY KEY (event_uid, seq))",
    "CREATE TABLE event_files (event_uid TEXT NOT NULL, seq INTEGER NOT NULL, role TEXT, path TEXT,"
    " path_bytes TEXT, sha256 TEXT, PRIMARY KEY (event_uid, seq))",
    "CREATE TABLE writes (event_uid TEXT PRIMARY KEY, what TEXT, block_count INTEGER,"
    " written_count INTEGER, outcome TEXT)",
    "CREATE TABLE write_blocks (event_uid TEXT NOT NULL, seq INTEGER NOT NULL, block TEXT,"
    " refused INTEGER NOT NULL, PRIMARY KEY (event_uid, seq))",
    "CREATE TABLE verifications (event_uid TEXT PRIMARY KEY, table_name TEXT, accuracy_class TEXT,"
    " passed INTEGER NOT NULL, details TEXT)",
    nullptr};

// The batch of a device; searching by serial, date and model without
// reading the whole table; the reports already imported.
const char *const step2[] = {
    "ALTER TABLE events ADD COLUMN batch TEXT",
    "ALTER TABLE events ADD COLUMN serial_key TEXT",
    "UPDATE events SET serial_key = substr(serial, 1, 200)",
    "CREATE INDEX events_serial ON events (serial_key, at_utc)",
    "CREATE INDEX events_time ON events (at_utc)",
    "CREATE INDEX events_model ON events (device_model, at_utc)",
    "CREATE TABLE imports (source_key TEXT PRIMARY KEY, event_uid TEXT NOT NULL)",
    nullptr};

const char *const *const steps[] = {step1, step2};
static_assert(sizeof(steps) / sizeof(steps[0]) == HistoryStore::SchemaVersion,
              "one step per schema version");

const QString TimeFormat = QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ");

QString timeText(const QDateTime &t)
{
    return t.toUTC().toString(TimeFormat);
}

QDateTime timeFrom(const QVariant &v)
{
    QDateTime t = QDateTime::fromString(v.toString(), Qt::ISODateWithMs);
    t.setTimeSpec(Qt::UTC);
    return t;
}

// A number with no value (a residual that is no number) is stored as NULL:
// neither engine keeps NaN the same way.
QVariant number(double v)
{
    return std::isfinite(v) ? QVariant(v) : QVariant(QVariant::Double);
}

double numberFrom(const QVariant &v)
{
    return v.isNull() ? std::numeric_limits<double>::infinity() : v.toDouble();
}

// A path whose bytes are not UTF-8 keeps them beside its readable text.
QString pathBytes(const QByteArray &path)
{
    if (QString::fromUtf8(path).toUtf8() == path)
        return QString();
    return QString::fromLatin1(path.toBase64());
}

QByteArray pathFrom(const QVariant &text, const QVariant &bytes)
{
    const QString b = bytes.toString();
    if (!b.isEmpty())
        return QByteArray::fromBase64(b.toLatin1());
    return text.toString().toUtf8();
}

struct Query
{
    explicit Query(QSqlDatabase &db, const char *sql) : q(db)
    {
        prepared = q.prepare(QString::fromLatin1(sql));
    }
    Query &operator<<(const QVariant &v)
    {
        q.addBindValue(v);
        return *this;
    }
    bool exec() { return prepared && q.exec(); }
    QString error() const { return q.lastError().text(); }
    QSqlQuery q;
    bool prepared = false;
};

int currentVersion(QSqlDatabase &db, bool *ok)
{
    *ok = true;
    if (!db.tables().contains(QStringLiteral("schema_version")))
        return 0;
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT version FROM schema_version")) || !q.next()) {
        *ok = false;
        return 0;
    }
    return q.value(0).toInt();
}

} // namespace

QString HistoryStore::serialKey(const QString &serial)
{
    const QVector<uint> points = serial.toUcs4();
    if (points.size() <= SerialKeyLength)
        return serial;
    return QString::fromUcs4(points.constData(), SerialKeyLength);
}

HistoryStore::HistoryStore(const QString &connectionName) : m_name(connectionName)
{
}

HistoryStore::~HistoryStore()
{
    close();
}

void HistoryStore::close()
{
    if (QSqlDatabase::contains(m_name)) {
        {
            QSqlDatabase db = QSqlDatabase::database(m_name, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(m_name);
    }
    if (m_status == Status::Open)
        m_status = Status::Closed;
}

bool HistoryStore::fail(const QString &what, const QString &detail)
{
    m_error = detail.trimmed().isEmpty() ? what : what + QStringLiteral(": ") + detail.trimmed();
    return false;
}

bool HistoryStore::migrate(QSqlDatabase &db, bool postgres, int targetVersion, int *foundVersion,
                           QString *error)
{
    auto failed = [&](const QString &why) {
        db.rollback();
        if (error)
            *error = why;
        return false;
    };
    // Two PCs (or two windows) opening a new database at once would both
    // build it: the first to start holds the others off until it is done.
    QSqlQuery lock(db);
    const bool locked = postgres ? db.transaction() && lock.exec(QStringLiteral("SELECT pg_advisory_xact_lock(724024)"))
                                 : lock.exec(QStringLiteral("BEGIN IMMEDIATE"));
    if (!locked)
        return failed(lock.lastError().text() + db.lastError().text());
    bool ok = false;
    const int version = currentVersion(db, &ok);
    if (foundVersion)
        *foundVersion = version;
    if (!ok)
        return failed(QStringLiteral("не читается версия схемы"));
    if (version > targetVersion) {
        db.rollback();
        return true;   // the caller judges a newer schema
    }
    for (int v = version + 1; v <= targetVersion; ++v) {
        for (const char *const *sql = steps[v - 1]; *sql; ++sql) {
            QSqlQuery q(db);
            if (!q.exec(QString::fromLatin1(*sql)))
                return failed(QStringLiteral("шаг схемы %1: %2").arg(v).arg(q.lastError().text()));
        }
    }
    if (version < targetVersion) {
        QSqlQuery q(db);
        q.prepare(QStringLiteral("UPDATE schema_version SET version = ?"));
        q.addBindValue(targetVersion);
        if (!q.exec())
            return failed(q.lastError().text());
    }
    if (!db.commit())
        return failed(db.lastError().text());
    return true;
}

HistoryStore::Status HistoryStore::open(const HistoryConfig &config)
{
    close();
    m_error.clear();
    m_foundVersion = 0;
    m_postgres = config.engine == HistoryConfig::Postgres;
    const QString problem = config.problem();
    if (!problem.isEmpty()) {
        fail(QStringLiteral("База истории не задана"), problem);
        return m_status = Status::Failed;
    }
    const QString missing = config.missingDriver();
    if (!missing.isEmpty()) {
        fail(missing, QString());
        return m_status = Status::Failed;
    }
    const QString driver = m_postgres ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(driver, m_name);
        if (m_postgres) {
            db.setHostName(config.host);
            db.setPort(config.port);
            db.setDatabaseName(config.database);
            db.setUserName(config.user);
            db.setPassword(config.password);
            db.setConnectOptions(QStringLiteral("connect_timeout=%1").arg(config.connectTimeoutSeconds));
        } else {
            const QString path = config.sqlitePath.isEmpty() ? HistoryConfig::defaultSqlitePath() : config.sqlitePath;
            QDir().mkpath(QFileInfo(path).absolutePath());
            db.setDatabaseName(path);
            // Two Tesmar windows on one file wait for each other's
            // transaction instead of failing.
            db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
        }
        if (!db.open()) {
            QString why = db.lastError().text();
            if (m_postgres && why.contains(QLatin1String("password")))
                why += QStringLiteral(" — введите пароль в «История → Настройки истории» (он хранится до закрытия "
                                      "Tesmar) или укажите файл паролей в PGPASSFILE");
            fail(QStringLiteral("База истории недоступна (%1)").arg(config.description()), why);
            m_status = Status::Unreachable;
        } else {
            QString why;
            if (!migrate(db, m_postgres, SchemaVersion, &m_foundVersion, &why)) {
                fail(QStringLiteral("Схема базы истории не обновлена"), why);
                m_status = Status::Failed;
            } else if (m_foundVersion > SchemaVersion) {
                fail(QStringLiteral("База истории (%1) создана более новой версией Tesmar: схема %2, эта "
                                    "версия знает схему %3. База не изменена; обновите Tesmar")
                         .arg(config.description())
                         .arg(m_foundVersion)
                         .arg(SchemaVersion),
                     QString());
                m_status = Status::NewerSchema;
            } else {
                m_status = Status::Open;
            }
        }
    }
    if (m_status != Status::Open) {
        const Status keep = m_status;
        close();
        m_status = keep;
    }
    return m_status;
}

bool HistoryStore::writeOne(QSqlDatabase &db, const HistoryRecord &r)
{
    const HistoryContext &c = r.context();
    const HistoryDevice &d = r.device();
    const QString uid = r.uid;
    Query e(db, "INSERT INTO events (uid, kind, at_utc, profile, port, operator_name, serial, device_model, ok,"
                " summary, batch, serial_key) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    e << uid << historyKindKey(r.kind) << timeText(c.when) << c.profile << c.port << c.operatorName
      << d.serial << d.model << int(r.ok()) << r.summary() << c.batch << serialKey(d.serial);
    if (!e.exec())
        return fail(QStringLiteral("Событие не записано в базу истории"), e.error());

    auto values = [&](const QVector<HistoryValue> &list) {
        for (int i = 0; i < list.size(); ++i) {
            Query q(db, "INSERT INTO event_values (event_uid, seq, name, value) VALUES (?, ?, ?, ?)");
            q << uid << i << list[i].name << number(list[i].value);
            if (!q.exec())
                return fail(QStringLiteral("Значения события не записаны"), q.error());
        }
        return true;
    };
    const QVector<HistoryFile> &files = r.files();
    for (int i = 0; i < files.size(); ++i) {
        Query q(db, "INSERT INTO event_files (event_uid, seq, role, path, path_bytes, sha256)"
                    " VALUES (?, ?, ?, ?, ?, ?)");
        q << uid << i << files[i].role << QString::fromUtf8(files[i].path) << pathBytes(files[i].path)
          << files[i].sha256;
        if (!q.exec())
            return fail(QStringLiteral("Файлы события не записаны"), q.error());
    }

    switch (r.kind) {
    case HistoryRecord::Calculation: {
        const CalculationEvent &k = r.calculation;
        Query q(db, "INSERT INTO calculations (event_uid, sensor_type, pmax, fit_model, fit_tmin, fit_tmid,"
                    " fit_tmax, worst_percent, worst_point, zero) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
        q << uid << k.sensorType << number(k.pmaxPa) << k.fitModel << number(k.fitPercent[0])
          << number(k.fitPercent[1]) << number(k.fitPercent[2]) << number(k.worstPercent) << k.worstPoint
          << number(k.zero);
        if (!q.exec())
            return fail(QStringLiteral("Расчет не записан в базу истории"), q.error());
        if (!values(k.coefficients))
            return false;
        break;
    }
    case HistoryRecord::Write: {
        const WriteEvent &w = r.write;
        Query q(db, "INSERT INTO writes (event_uid, what, block_count, written_count, outcome)"
                    " VALUES (?, ?, ?, ?, ?)");
        q << uid << w.what << w.blockCount << w.writtenCount << w.outcome;
        if (!q.exec())
            return fail(QStringLiteral("Запись в прибор не внесена в базу истории"), q.error());
        int seq = 0;
        for (const QStringList *list : {&w.blocks, &w.refusedBlocks}) {
            for (const QString &block : *list) {
                Query b(db, "INSERT INTO write_blocks (event_uid, seq, block, refused) VALUES (?, ?, ?, ?)");
                b << uid << seq++ << block << int(list == &w.refusedBlocks);
                if (!b.exec())
                    return fail(QStringLiteral("Блоки записи не внесены в базу истории"), b.error());
            }
        }
        if (!values(w.values))
            return false;
        break;
    }
    case HistoryRecord::Verification: {
        const VerificationEvent &v = r.verification;
        Query q(db, "INSERT INTO verifications (event_uid, table_name, accuracy_class, passed, details)"
                    " VALUES (?, ?, ?, ?, ?)");
        q << uid << v.table << v.accuracyClass << int(v.passed) << v.details;
        if (!q.exec())
            return fail(QStringLiteral("Поверка не записана в базу истории"), q.error());
        break;
    }
    }
    if (!r.sourceKey.isEmpty()) {
        Query q(db, "INSERT INTO imports (source_key, event_uid) VALUES (?, ?)");
        q << r.sourceKey << uid;
        if (!q.exec())
            return fail(QStringLiteral("Импорт не отмечен в базе истории"), q.error());
    }
    return true;
}

bool HistoryStore::writeAll(const QVector<HistoryRecord> &records)
{
    if (!isOpen())
        return fail(QStringLiteral("База истории не открыта"), m_error);
    bool written = false;
    {
        QSqlDatabase db = QSqlDatabase::database(m_name, false);
        // SQLite: the write lock is taken at the start, where waiting for
        // another writer is possible; taken at the first insert after a read,
        // two writers would deadlock and one would be refused at once.
        QSqlQuery begin(db);
        written = m_postgres ? db.transaction() : begin.exec(QStringLiteral("BEGIN IMMEDIATE"));
        if (!written)
            fail(QStringLiteral("Транзакция не начата"), db.lastError().text() + begin.lastError().text());
        for (int i = 0; written && i < records.size(); ++i) {
            const HistoryRecord &r = records[i];
            if (r.uid.isEmpty()) {
                written = fail(QStringLiteral("Событие без идентификатора"), QString());
                break;
            }
            Query q(db, "SELECT 1 FROM events WHERE uid = ?");
            q << r.uid;
            if (!q.exec()) {
                written = fail(QStringLiteral("База истории не отвечает"), q.error());
                break;
            }
            const bool there = q.q.next();
            q.q.finish();
            if (there)
                continue;   // written before (a queue replayed)
            written = writeOne(db, r);
        }
        if (written && !db.commit())
            written = fail(QStringLiteral("Транзакция не завершена"), db.lastError().text());
        if (!written)
            db.rollback();
    }
    if (!written) {
        // The next write starts from a fresh connection (a server that went
        // away is not noticed otherwise).
        const QString keep = m_error;
        close();
        m_status = Status::Unreachable;
        m_error = keep;
    }
    return written;
}

bool HistoryStore::write(const HistoryRecord &record)
{
    return writeAll({record});
}

bool HistoryStore::contains(const QString &uid, bool *ok)
{
    QSqlDatabase db = QSqlDatabase::database(m_name, false);
    Query q(db, "SELECT 1 FROM events WHERE uid = ?");
    q << uid;
    const bool ran = isOpen() && q.exec();
    if (ok)
        *ok = ran;
    return ran && q.q.next();
}

bool HistoryStore::isImported(const QString &sourceKey, bool *ok)
{
    QSqlDatabase db = QSqlDatabase::database(m_name, false);
    Query q(db, "SELECT 1 FROM imports WHERE source_key = ?");
    q << sourceKey;
    const bool ran = isOpen() && q.exec();
    if (ok)
        *ok = ran;
    return ran && q.q.next();
}

QVector<HistoryRow> HistoryStore::search(const HistoryFilter &f, bool *ok)
{
    // The conditions are fixed texts; every value the operator typed is
    // bound.
    QString sql = QStringLiteral("SELECT uid, kind, at_utc, serial, device_model, ok, summary, operator_name,"
                                 " port, profile, batch FROM events WHERE 1 = 1");
    QVariantList bound;
    if (!f.serial.isEmpty()) {
        sql += QStringLiteral(" AND serial_key = ? AND serial = ?");
        bound << serialKey(f.serial) << f.serial;
    }
    if (f.from.isValid()) {
        sql += QStringLiteral(" AND at_utc >= ?");
        bound << timeText(QDateTime(f.from, QTime(0, 0), Qt::LocalTime));
    }
    if (f.to.isValid()) {
        sql += QStringLiteral(" AND at_utc < ?");
        bound << timeText(QDateTime(f.to.addDays(1), QTime(0, 0), Qt::LocalTime));
    }
    if (!f.model.isEmpty()) {
        sql += QStringLiteral(" AND device_model = ?");
        bound << f.model;
    }
    if (f.result != HistoryFilter::AnyResult) {
        sql += QStringLiteral(" AND ok = ?");
        bound << int(f.result == HistoryFilter::OkOnly);
    }
    if (f.kind >= 0) {
        sql += QStringLiteral(" AND kind = ?");
        bound << historyKindKey(HistoryRecord::Kind(f.kind));
    }
    sql += QStringLiteral(" ORDER BY at_utc DESC, uid LIMIT ?");
    bound << qMax(1, f.limit);

    QVector<HistoryRow> rows;
    QSqlDatabase db = QSqlDatabase::database(m_name, false);
    QSqlQuery q(db);
    q.setForwardOnly(true);
    bool ran = isOpen() && q.prepare(sql);
    for (const QVariant &v : qAsConst(bound))
        q.addBindValue(v);
    ran = ran && q.exec();
    if (!ran)
        fail(QStringLiteral("Поиск в базе истории не выполнен"), q.lastError().text());
    while (ran && q.next()) {
        HistoryRow r;
        r.uid = q.value(0).toString();
        historyKindFromKey(q.value(1).toString(), &r.kind);
        r.when = timeFrom(q.value(2));
        r.serial = q.value(3).toString();
        r.model = q.value(4).toString();
        r.ok = q.value(5).toInt() != 0;
        r.summary = q.value(6).toString();
        r.operatorName = q.value(7).toString();
        r.port = q.value(8).toString();
        r.profile = q.value(9).toString();
        r.batch = q.value(10).toString();
        rows.append(r);
    }
    if (ok)
        *ok = ran;
    return rows;
}

bool HistoryStore::load(const QString &uid, HistoryRecord *out)
{
    if (!isOpen())
        return fail(QStringLiteral("База истории не открыта"), m_error);
    QSqlDatabase db = QSqlDatabase::database(m_name, false);
    Query e(db, "SELECT kind, at_utc, profile, port, operator_name, serial, device_model, batch, ok"
                " FROM events WHERE uid = ?");
    e << uid;
    if (!e.exec() || !e.q.next())
        return fail(QStringLiteral("Событие не найдено в базе истории"), e.error());
    HistoryRecord r;
    r.uid = uid;
    if (!historyKindFromKey(e.q.value(0).toString(), &r.kind))
        return fail(QStringLiteral("Событие неизвестного вида"), e.q.value(0).toString());
    HistoryContext &c = r.context();
    c.when = timeFrom(e.q.value(1));
    c.profile = e.q.value(2).toString();
    c.port = e.q.value(3).toString();
    c.operatorName = e.q.value(4).toString();
    r.device().serial = e.q.value(5).toString();
    r.device().model = e.q.value(6).toString();
    c.batch = e.q.value(7).toString();
    r.calculation.withinTarget = e.q.value(8).toInt() != 0;

    QVector<HistoryValue> values;
    Query v(db, "SELECT name, value FROM event_values WHERE event_uid = ? ORDER BY seq");
    v << uid;
    if (!v.exec())
        return fail(QStringLiteral("Значения события не прочитаны"), v.error());
    while (v.q.next())
        values.append({v.q.value(0).toString(), numberFrom(v.q.value(1))});
    QVector<HistoryFile> files;
    Query fq(db, "SELECT role, path, path_bytes, sha256 FROM event_files WHERE event_uid = ? ORDER BY seq");
    fq << uid;
    if (!fq.exec())
        return fail(QStringLiteral("Файлы события не прочитаны"), fq.error());
    while (fq.q.next())
        files.append({fq.q.value(0).toString(), pathFrom(fq.q.value(1), fq.q.value(2)), fq.q.value(3).toString()});

    switch (r.kind) {
    case HistoryRecord::Calculation: {
        CalculationEvent &k = r.calculation;
        Query q(db, "SELECT sensor_type, pmax, fit_model, fit_tmin, fit_tmid, fit_tmax, worst_percent,"
                    " worst_point, zero FROM calculations WHERE event_uid = ?");
        q << uid;
        if (!q.exec() || !q.q.next())
            return fail(QStringLiteral("Расчет не прочитан"), q.error());
        k.sensorType = q.q.value(0).toString();
        k.pmaxPa = numberFrom(q.q.value(1));
        k.fitModel = q.q.value(2).toString();
        for (int i = 0; i < 3; ++i)
            k.fitPercent[size_t(i)] = numberFrom(q.q.value(3 + i));
        k.worstPercent = numberFrom(q.q.value(6));
        k.worstPoint = q.q.value(7).toString();
        k.zero = numberFrom(q.q.value(8));
        k.coefficients = values;
        k.files = files;
        break;
    }
    case HistoryRecord::Write: {
        WriteEvent &w = r.write;
        Query q(db, "SELECT what, block_count, written_count, outcome FROM writes WHERE event_uid = ?");
        q << uid;
        if (!q.exec() || !q.q.next())
            return fail(QStringLiteral("Запись в прибор не прочитана"), q.error());
        w.what = q.q.value(0).toString();
        w.blockCount = q.q.value(1).toInt();
        w.writtenCount = q.q.value(2).toInt();
        w.outcome = q.q.value(3).toString();
        Query b(db, "SELECT block, refused FROM write_blocks WHERE event_uid = ? ORDER BY seq");
        b << uid;
        if (!b.exec())
            return fail(QStringLiteral("Блоки записи не прочитаны"), b.error());
        while (b.q.next())
            (b.q.value(1).toInt() ? w.refusedBlocks : w.blocks).append(b.q.value(0).toString());
        w.values = values;
        break;
    }
    case HistoryRecord::Verification: {
        VerificationEvent &ve = r.verification;
        Query q(db, "SELECT table_name, accuracy_class, passed, details FROM verifications WHERE event_uid = ?");
        q << uid;
        if (!q.exec() || !q.q.next())
            return fail(QStringLiteral("Поверка не прочитана"), q.error());
        ve.table = q.q.value(0).toString();
        ve.accuracyClass = q.q.value(1).toString();
        ve.passed = q.q.value(2).toInt() != 0;
        ve.details = q.q.value(3).toString();
        ve.files = files;
        break;
    }
    }
    Query s(db, "SELECT source_key FROM imports WHERE event_uid = ?");
    s << uid;
    if (s.exec() && s.q.next())
        r.sourceKey = s.q.value(0).toString();
    *out = r;
    return true;
}

QVector<HistoryRecord> HistoryStore::deviceCalculations(const QString &serial, bool *ok)
{
    HistoryFilter f;
    f.serial = serial;
    f.kind = HistoryRecord::Calculation;
    f.limit = 10000;
    bool ran = false;
    const QVector<HistoryRow> rows = search(f, &ran);
    QVector<HistoryRecord> out;
    for (int i = rows.size() - 1; ran && i >= 0; --i) {
        HistoryRecord r;
        ran = load(rows[i].uid, &r);
        out.append(r);
    }
    if (ok)
        *ok = ran;
    return ran ? out : QVector<HistoryRecord>();
}

QStringList HistoryStore::models(bool *ok)
{
    QSqlDatabase db = QSqlDatabase::database(m_name, false);
    Query q(db, "SELECT DISTINCT device_model FROM events WHERE device_model IS NOT NULL ORDER BY device_model");
    const bool ran = isOpen() && q.exec();
    QStringList out;
    while (ran && q.q.next()) {
        const QString m = q.q.value(0).toString();
        if (!m.isEmpty())
            out << m;
    }
    if (ok)
        *ok = ran;
    return out;
}
