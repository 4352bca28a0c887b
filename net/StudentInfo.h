#pragma once

#include <QDate>
#include <QObject>
#include <QString>

// The candidate now at the station. One record serves every candidate of a
// run: each admitted answer from the server overwrites it.
class StudentInfo : public QObject
{
    Q_OBJECT
public:
    explicit StudentInfo(QObject *parent = nullptr);

    int id() const { return m_id; }
    void setId(int id) { m_id = id; }
    int cert() const { return m_cert; }
    void setCert(int cert) { m_cert = cert; }
    QString fullName() const { return m_fullName; }
    void setFullName(const QString &name) { m_fullName = name; }
    QString orderNumber() const { return m_orderNumber; }
    void setOrderNumber(const QString &number) { m_orderNumber = number; }
    QString pid() const { return m_pid; }
    void setPid(const QString &pid) { m_pid = pid; }
    QString image() const { return m_image; }
    void setImage(const QString &image) { m_image = image; }

    // Empty for a code outside 0..9.
    QString licenceClassText() const;
    // HTML lines: name, identity card, licence class, address.
    QString summaryText() const;

private:
    int m_id = 0;
    QString m_unusedText;
    int m_cert = 0;
    QString m_fullName;
    QString m_idCardNumber;
    QString m_address;
    QDate m_unusedDate;
    QString m_orderNumber;
    QString m_pid;
    QString m_image;
};
