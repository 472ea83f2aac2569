#include "monitor/linestatisticsrows.h"

#include "link/responsecode.h"

QStringList LineStatisticsRows::headers()
{
    return {QStringLiteral("Адрес"),       QStringLiteral("Запросы"),
            QStringLiteral("Ответы"),      QStringLiteral("Таймауты"),
            QStringLiteral("Ошибки КС"),   QStringLiteral("Отброшено"),
            QStringLiteral("Ответ ср., мс"), QStringLiteral("Ответ макс., мс"),
            QStringLiteral("Отказы / предупр."), QStringLiteral("Поздние"),
            QStringLiteral("Последний статус")};
}

bool LineStatisticsRows::isActive(const LinkAddressStatistics &s)
{
    return s.requestsSent || s.answersCredited || s.timeouts || s.checksumErrors
        || s.answersDiscarded || s.lateAnswers;
}

QStringList LineStatisticsRows::row(const QString &name, const LinkAddressStatistics &s)
{
    // No answer, no response time: a dash rather than a zero that reads as
    // an instant answer.
    const bool timed = s.answersCredited > 0;
    return {name,
            QString::number(s.requestsSent),
            QString::number(s.answersCredited),
            QString::number(s.timeouts),
            QString::number(s.checksumErrors),
            QString::number(s.answersDiscarded),
            timed ? QString::number(s.responseMeanMs(), 'f', 1) : QStringLiteral("—"),
            timed ? QString::number(s.responseMaxMs(), 'f', 1) : QStringLiteral("—"),
            QStringLiteral("%1 / %2").arg(s.refusals).arg(s.warnings),
            QString::number(s.lateAnswers),
            s.lastStatus1 < 0 ? QStringLiteral("—")
                              : ResponseCode::statusText(uint8_t(s.lastStatus1), uint8_t(s.lastStatus2))};
}

QVector<QStringList> LineStatisticsRows::rows(const LinkStatistics &stats)
{
    QVector<QStringList> out;
    for (int a = 0; a < LinkStatistics::AddressCount; ++a) {
        const LinkAddressStatistics &s = stats.address(a);
        if (isActive(s))
            out.append(row(QStringLiteral("%1").arg(a, 2, 16, QLatin1Char('0')), s));
    }
    if (isActive(stats.other()))
        out.append(row(QStringLiteral("прочие"), stats.other()));
    out.append(row(QStringLiteral("Всего"), stats.total()));
    return out;
}

QString LineStatisticsRows::discardSummary(const LinkStatistics &stats)
{
    return QStringLiteral("Отброшено: без ожидающего запроса (поздние, повторные, случайные) %1, "
                          "от другого адреса %2, с другой командой %3, начатые до запроса %4")
        .arg(stats.discarded(LinkStatistics::NobodyWaiting))
        .arg(stats.discarded(LinkStatistics::OtherAddress))
        .arg(stats.discarded(LinkStatistics::OtherCommand))
        .arg(stats.discarded(LinkStatistics::BeforeRequest));
}
