#include "history/historystore.h"
#include "history/historystore_p.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace HistorySql;

namespace {

QByteArray pathFrom(const QVariant &text, const QVariant &bytes)
{
    const QString b = bytes.toString();
    if (!b.isEmpty())
        return QByteArray::fromBase64(b.toLatin1());
    return text.toString().toUtf8();
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

bool HistoryStore::failOn(const QString &what, const Query &q)
{
    m_lastSqlError = q.q.lastError();
    // Rolled back at once, while the statements are still held: PostgreSQL
    // frees none of them inside a transaction that has failed.
    if (m_inWrite) {
        m_inWrite = false;
        QSqlDatabase::database(m_name, false).rollback();
    }
    return fail(what, q.error());
}

bool HistoryStore::fail(const QString &what, const QString &detail)
{
    m_error = detail.trimmed().isEmpty() ? what : what + QStringLiteral(": ") + detail.trimmed();
    return false;
}

HistoryStore::Status HistoryStore::open(const HistoryConfig &config)
{
    close();
    m_error.clear();
    m_foundVersion = 0;
    m_postgres = config.engine == HistoryConfig::Postgres;
    m_description = config.description();
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
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(config.driver(), m_name);
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
                fail(newerSchemaText(m_foundVersion), QString());
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
        return failOn(QStringLiteral("Событие не записано в базу истории"), e);

    auto values = [&](const QVector<HistoryValue> &list) {
        for (int i = 0; i < list.size(); ++i) {
            Query q(db, "INSERT INTO event_values (event_uid, seq, name, value) VALUES (?, ?, ?, ?)");
            q << uid << i << list[i].name << number(list[i].value);
            if (!q.exec())
                return failOn(QStringLiteral("Значения события не записаны"), q);
        }
        return true;
    };
    if (!writeFiles(db, uid, r.files()))
        return false;

    switch (r.kind) {
    case HistoryRecord::Calculation: {
        const CalculationEvent &k = r.calculation;
        Query q(db, "INSERT INTO calculations (event_uid, sensor_type, pmax, fit_model, fit_tmin, fit_tmid,"
                    " fit_tmax, worst_percent, worst_point, zero) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
        q << uid << k.sensorType << number(k.pmaxPa) << k.fitModel << number(k.fitPercent[0])
          << number(k.fitPercent[1]) << number(k.fitPercent[2]) << number(k.worstPercent) << k.worstPoint
          << number(k.zero);
        if (!q.exec())
            return failOn(QStringLiteral("Расчет не записан в базу истории"), q);
        if (!values(k.coefficients))
            return false;
        break;
    }
    case HistoryRecord::Write: {
        const WriteEvent &w = r.write;
        Query q(db, "INSERT INTO writes (event_uid, what, block_count, written_count, outcome, address)"
                    " VALUES (?, ?, ?, ?, ?, ?)");
        q << uid << w.what << w.blockCount << w.writtenCount << w.outcome
          << (w.address >= 0 ? QVariant(w.address) : QVariant(QVariant::Int));
        if (!q.exec())
            return failOn(QStringLiteral("Запись в прибор не внесена в базу истории"), q);
        int seq = 0;
        for (const QStringList *list : {&w.blocks, &w.refusedBlocks}) {
            for (const QString &block : *list) {
                Query b(db, "INSERT INTO write_blocks (event_uid, seq, block, refused) VALUES (?, ?, ?, ?)");
                b << uid << seq++ << block << int(list == &w.refusedBlocks);
                if (!b.exec())
                    return failOn(QStringLiteral("Блоки записи не внесены в базу истории"), b);
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
            return failOn(QStringLiteral("Поверка не записана в базу истории"), q);
        break;
    }
    }
    if (!r.sourceKey.isEmpty()) {
        Query q(db, "INSERT INTO imports (source_key, event_uid) VALUES (?, ?)");
        q << r.sourceKey << uid;
        if (!q.exec())
            return failOn(QStringLiteral("Импорт не отмечен в базе истории"), q);
    }
    return true;
}

bool HistoryStore::writeAll(const QVector<HistoryRecord> &records)
{
    m_refused = false;
    m_schemaChanged = false;
    m_lastSqlError = QSqlError();
    if (!isOpen())
        return fail(QStringLiteral("База истории не открыта"), m_error);
    bool written = false;
    bool refused = false;
    {
        QSqlDatabase db = QSqlDatabase::database(m_name, false);
        written = beginWrite(db);
        const bool began = written;
        m_inWrite = began;
        for (int i = 0; written && i < records.size(); ++i) {
            const HistoryRecord &r = records[i];
            if (r.uid.isEmpty()) {
                m_lastSqlError = QSqlError();
                written = fail(QStringLiteral("Событие без идентификатора"), QString());
                break;
            }
            Query q(db, "SELECT 1 FROM events WHERE uid = ?");
            q << r.uid;
            if (!q.exec()) {
                written = failOn(QStringLiteral("База истории не отвечает"), q);
                break;
            }
            const bool there = q.q.next();
            q.q.finish();
            if (there)
                continue;   // written before (a queue replayed)
            written = writeOne(db, r);
        }
        if (written && !db.commit()) {
            m_lastSqlError = db.lastError();
            written = fail(QStringLiteral("Транзакция не завершена"), db.lastError().text());
        }
        if (!written && began) {
            if (m_inWrite)
                db.rollback();
            refused = judgeFailure(db);
        }
        m_inWrite = false;
    }
    if (!written && !refused) {
        // The next write starts from a fresh connection (a server that went
        // away is not noticed otherwise; a newer schema is judged again at
        // the next open).
        const QString keep = m_error;
        close();
        m_status = m_schemaChanged ? Status::NewerSchema : Status::Unreachable;
        m_error = keep;
    }
    m_refused = refused;
    return written;
}

// Whether a failed write was the records' own: what the database said is
// about the values (a value out of range, too long, a rule of the server's
// that refuses it) and the database still answers. Anything else (a lock, a
// lost connection, rights, a statement the schema does not take) would
// refuse every event alike, so the events wait instead of being set aside.
bool HistoryStore::judgeFailure(QSqlDatabase &db)
{
    bool own = false;
    if (m_lastSqlError.type() == QSqlError::NoError) {
        own = true;   // refused here, before the database saw it
    } else if (m_postgres) {
        // Data exception, integrity constraint, program limit, a trigger's
        // own exception.
        static const QStringList classes = {QStringLiteral("22"), QStringLiteral("23"), QStringLiteral("54"),
                                            QStringLiteral("P0")};
        own = classes.contains(m_lastSqlError.nativeErrorCode().left(2));
    } else {
        // SQLite's primary codes: too big, constraint (a trigger's RAISE
        // too), type mismatch, out of range.
        static const QVector<int> codes = {18, 19, 20, 25};
        own = codes.contains(m_lastSqlError.nativeErrorCode().toInt() & 0xff);
    }
    if (!own)
        return false;
    QSqlQuery probe(db);
    return probe.exec(QStringLiteral("SELECT 1")) && probe.next();
}

bool HistoryStore::write(const HistoryRecord &record)
{
    return writeAll({record});
}

bool HistoryStore::exists(const char *sql, const QString &key, bool *ok)
{
    QSqlDatabase db = QSqlDatabase::database(m_name, false);
    Query q(db, sql);
    q << key;
    const bool ran = isOpen() && q.exec();
    if (ok)
        *ok = ran;
    return ran && q.q.next();
}

bool HistoryStore::contains(const QString &uid, bool *ok)
{
    return exists("SELECT 1 FROM events WHERE uid = ?", uid, ok);
}

bool HistoryStore::isImported(const QString &sourceKey, bool *ok)
{
    return exists("SELECT 1 FROM imports WHERE source_key = ?", sourceKey, ok);
}

QString HistoryStore::findCalculation(const CalculationEvent &event, const QString &reportSha256, int maxSeconds,
                                     bool *ok)
{
    if (ok)
        *ok = false;
    if (!isOpen()) {
        fail(QStringLiteral("База истории не открыта"), m_error);
        return QString();
    }
    QSqlDatabase db = QSqlDatabase::database(m_name, false);
    if (!reportSha256.isEmpty()) {
        Query q(db, "SELECT e.uid FROM event_files f JOIN events e ON e.uid = f.event_uid"
                    " WHERE f.sha256 = ? AND e.kind = 'calculation' ORDER BY e.at_utc");
        q << reportSha256;
        if (!q.exec()) {
            failOn(QStringLiteral("Поиск в базе истории не выполнен"), q);
            return QString();
        }
        if (q.q.next()) {
            if (ok)
                *ok = true;
            return q.q.value(0).toString();
        }
    }
    const QString from = timeText(event.context.when.addSecs(-maxSeconds));
    const QString to = timeText(event.context.when.addSecs(maxSeconds));
    const bool noSerial = event.device.serial.isEmpty();
    Query q(db, noSerial ? "SELECT uid FROM events WHERE kind = 'calculation' AND (serial IS NULL OR serial = '')"
                           " AND at_utc >= ? AND at_utc <= ? ORDER BY at_utc"
                         : "SELECT uid FROM events WHERE kind = 'calculation' AND serial_key = ? AND serial = ?"
                           " AND at_utc >= ? AND at_utc <= ? ORDER BY at_utc");
    if (!noSerial)
        q << serialKey(event.device.serial) << event.device.serial;
    q << from << to;
    if (!q.exec()) {
        failOn(QStringLiteral("Поиск в базе истории не выполнен"), q);
        return QString();
    }
    QStringList candidates;
    while (q.q.next())
        candidates << q.q.value(0).toString();
    for (const QString &uid : qAsConst(candidates)) {
        Query v(db, "SELECT name, value FROM event_values WHERE event_uid = ? ORDER BY seq");
        v << uid;
        if (!v.exec()) {
            failOn(QStringLiteral("Значения события не прочитаны"), v);
            return QString();
        }
        int i = 0;
        bool same = true;
        for (; same && v.q.next(); ++i) {
            // The report prints each coefficient to the float the device
            // holds: the same calculation gives the same floats.
            same = i < event.coefficients.size() && v.q.value(0).toString() == event.coefficients[i].name
                   && float(numberFrom(v.q.value(1))) == float(event.coefficients[i].value);
        }
        if (same && i == event.coefficients.size()) {
            if (ok)
                *ok = true;
            return uid;
        }
    }
    if (ok)
        *ok = true;
    return QString();
}

bool HistoryStore::markImported(const QString &sourceKey, const QString &uid)
{
    if (!isOpen())
        return fail(QStringLiteral("База истории не открыта"), m_error);
    QSqlDatabase db = QSqlDatabase::database(m_name, false);
    if (!beginWrite(db))
        return false;
    Query q(db, "INSERT INTO imports (source_key, event_uid) VALUES (?, ?)");
    q << sourceKey << uid;
    if (!q.exec() || !db.commit()) {
        failOn(QStringLiteral("Импорт не отмечен в базе истории"), q);
        db.rollback();
        return false;
    }
    return true;
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
    Query q(db, sql, true);
    for (const QVariant &v : qAsConst(bound))
        q << v;
    const bool ran = isOpen() && q.exec();
    if (!ran)
        fail(QStringLiteral("Поиск в базе истории не выполнен"), q.error());
    while (ran && q.q.next()) {
        const QSqlQuery &row = q.q;
        HistoryRow r;
        r.uid = row.value(0).toString();
        historyKindFromKey(row.value(1).toString(), &r.kind);
        r.when = timeFrom(row.value(2));
        r.serial = row.value(3).toString();
        r.model = row.value(4).toString();
        r.ok = row.value(5).toInt() != 0;
        r.summary = row.value(6).toString();
        r.operatorName = row.value(7).toString();
        r.port = row.value(8).toString();
        r.profile = row.value(9).toString();
        r.batch = row.value(10).toString();
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
        return failOn(QStringLiteral("Событие не найдено в базе истории"), e);
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
        return failOn(QStringLiteral("Значения события не прочитаны"), v);
    while (v.q.next())
        values.append({v.q.value(0).toString(), numberFrom(v.q.value(1))});
    QVector<HistoryFile> files;
    Query fq(db, "SELECT f.role, f.path, f.path_bytes, f.sha256, b.size FROM event_files f"
                 " LEFT JOIN blobs b ON b.sha256 = f.sha256 WHERE f.event_uid = ? ORDER BY f.seq");
    fq << uid;
    if (!fq.exec())
        return failOn(QStringLiteral("Файлы события не прочитаны"), fq);
    while (fq.q.next()) {
        HistoryFile f{fq.q.value(0).toString(), pathFrom(fq.q.value(1), fq.q.value(2)), fq.q.value(3).toString()};
        f.kept = !fq.q.value(4).isNull();
        files.append(f);
    }

    switch (r.kind) {
    case HistoryRecord::Calculation: {
        CalculationEvent &k = r.calculation;
        Query q(db, "SELECT sensor_type, pmax, fit_model, fit_tmin, fit_tmid, fit_tmax, worst_percent,"
                    " worst_point, zero FROM calculations WHERE event_uid = ?");
        q << uid;
        if (!q.exec() || !q.q.next())
            return failOn(QStringLiteral("Расчет не прочитан"), q);
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
        Query q(db, "SELECT what, block_count, written_count, outcome, address FROM writes WHERE event_uid = ?");
        q << uid;
        if (!q.exec() || !q.q.next())
            return failOn(QStringLiteral("Запись в прибор не прочитана"), q);
        w.what = q.q.value(0).toString();
        w.blockCount = q.q.value(1).toInt();
        w.writtenCount = q.q.value(2).toInt();
        w.outcome = q.q.value(3).toString();
        w.address = q.q.value(4).isNull() ? -1 : q.q.value(4).toInt();
        Query b(db, "SELECT block, refused FROM write_blocks WHERE event_uid = ? ORDER BY seq");
        b << uid;
        if (!b.exec())
            return failOn(QStringLiteral("Блоки записи не прочитаны"), b);
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
            return failOn(QStringLiteral("Поверка не прочитана"), q);
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
