#include "ResultDetail.h"

#include <QStringList>

namespace {

const QChar listSeparator = QLatin1Char('|');
const QChar numberSeparator = QLatin1Char(';');

template<typename T>
QString joined(const QList<T> &numbers)
{
    QStringList texts;
    texts.reserve(numbers.size());
    for (const T n : numbers)
        texts.append(QString::number(n));
    return texts.join(numberSeparator);
}

bool fail(QString *why, const QString &reason)
{
    if (why)
        *why = reason;
    return false;
}

// Decimal numbers only: the text is stored and compared as it came, so a
// sign, blanks or leading zeros would make two texts of one result differ.
template<typename T>
bool readList(const QString &part, const char *what, QList<T> *out, QString *why)
{
    out->clear();
    if (part.isEmpty())
        return true;
    for (const QString &item : part.split(numberSeparator)) {
        bool ok = !item.isEmpty() && (item == QLatin1String("0") || item.at(0) != QLatin1Char('0'));
        for (int i = 0; ok && i < item.size(); ++i)
            ok = item.at(i) >= QLatin1Char('0') && item.at(i) <= QLatin1Char('9');
        const qlonglong value = ok ? item.toLongLong(&ok) : 0;
        if (!ok || T(value) != value)
            return fail(why, QStringLiteral("%1 '%2' is not a decimal number").arg(QLatin1String(what), item));
        out->append(T(value));
    }
    return true;
}

} // namespace

ResultDetail::ResultDetail(const QList<int> &scores, const QList<qint64> &flags, const QList<int> &ids)
    : m_scores(scores)
    , m_flags(flags)
    , m_ids(ids)
{
}

int ResultDetail::total() const
{
    int sum = 0;
    for (const int score : m_scores)
        sum += score;
    return sum;
}

QString ResultDetail::scoreText() const
{
    return joined(m_scores);
}

QString ResultDetail::flagText() const
{
    return joined(m_flags);
}

QString ResultDetail::idText() const
{
    return joined(m_ids);
}

QString ResultDetail::scoringText() const
{
    return scoreText() + listSeparator + flagText();
}

QString ResultDetail::text() const
{
    return scoringText() + listSeparator + idText();
}

bool ResultDetail::parse(const QString &text, ResultDetail *out, QString *why)
{
    const QStringList parts = text.split(listSeparator);
    if (parts.size() != 3)
        return fail(why, QStringLiteral("the detail has %1 '|'-separated parts instead of 3").arg(parts.size()));
    return readParts(parts, out, why);
}

bool ResultDetail::parseRecorded(const QString &text, ResultDetail *out, QString *why)
{
    const QStringList parts = text.split(listSeparator);
    if (parts.size() != 2 && parts.size() != 3)
        return fail(why, QStringLiteral("the detail has %1 '|'-separated parts instead of 2 or 3").arg(parts.size()));
    return readParts(parts, out, why);
}

bool ResultDetail::readParts(const QStringList &parts, ResultDetail *out, QString *why)
{
    ResultDetail read;
    if (!readList(parts.at(0), "score", &read.m_scores, why) || !readList(parts.at(1), "flag time", &read.m_flags, why)
        || !readList(parts.value(2), "situation id", &read.m_ids, why))
        return false;
    *out = read;
    return true;
}

bool ResultDetail::isComplete(int situations, QString *why) const
{
    if (m_scores.size() != situations || m_flags.size() != situations || m_ids.size() != situations)
        return fail(why, QStringLiteral("%1 scores, %2 flag times and %3 situation ids instead of %4 each")
                             .arg(m_scores.size())
                             .arg(m_flags.size())
                             .arg(m_ids.size())
                             .arg(situations));
    for (const int score : m_scores) {
        if (score < 0 || score > maxScore)
            return fail(why, QStringLiteral("score %1 is not a number from 0 to %2").arg(score).arg(maxScore));
    }
    for (const qint64 flag : m_flags) {
        if (flag < 0)
            return fail(why, QStringLiteral("flag time %1 is negative").arg(flag));
    }
    for (const int id : m_ids) {
        if (id <= 0)
            return fail(why, QStringLiteral("situation id %1 is not a positive number").arg(id));
    }
    return true;
}
