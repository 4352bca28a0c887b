#pragma once

#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>

// The detail text of an examination result: the situations' scores, their
// flag times and the situations' ids, each list in contest order with its
// numbers joined by ";", the lists joined by "|". The flag scoring fills the
// first two; the upload adds the ids; the server stores the whole text and
// hands it back for a review.
class ResultDetail
{
public:
    static constexpr int maxScore = 5;

    ResultDetail() = default;
    ResultDetail(const QList<int> &scores, const QList<qint64> &flags, const QList<int> &ids = {});

    QList<int> scores() const { return m_scores; }
    QList<qint64> flags() const { return m_flags; }
    QList<int> ids() const { return m_ids; }
    void setIds(const QList<int> &ids) { m_ids = ids; }
    int total() const;

    // "scores|flags": what the flag scoring reports.
    QString scoringText() const;
    // "scores|flags|ids": what is uploaded, stored and reviewed.
    QString text() const;
    // The three lists as texts, as a review hands them on.
    QString scoreText() const;
    QString flagText() const;
    QString idText() const;

    // Reads a three-part text; an empty part is an empty list. False, with
    // the reason, when the text does not split into three parts or a list
    // holds anything but decimal numbers; *out is then left alone.
    static bool parse(const QString &text, ResultDetail *out, QString *why = nullptr);
    // Reads what a contest record holds: the scoring's two parts, or a
    // whole three-part text.
    static bool parseRecorded(const QString &text, ResultDetail *out, QString *why = nullptr);

    // A whole examination: each list holds exactly `situations` entries,
    // scores 0 to maxScore, flag times not negative, ids above 0.
    bool isComplete(int situations, QString *why = nullptr) const;

private:
    static bool readParts(const QStringList &parts, ResultDetail *out, QString *why);

    QList<int> m_scores;
    QList<qint64> m_flags;
    QList<int> m_ids;
};

Q_DECLARE_METATYPE(ResultDetail)
