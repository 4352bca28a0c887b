#pragma once

#include "Constants.h"

#include <QByteArray>
#include <QRunnable>
#include <QString>

// Writes the playable copy of one enciphered video. Only the leading
// megabyte is enciphered, so memory use is bounded by that prefix whatever
// the video's length; the plain rest is copied by the kernel. The copy
// appears under its final name only once complete, so the player never
// opens a half-written file.
class DecryptTask : public QRunnable
{
public:
    DecryptTask(const QString &inputPath, const QString &outputPath,
                const QByteArray &key = Constants::videoKey());
    ~DecryptTask() override;

    void run() override;

private:
    bool decryptInto(int input, int output, qint64 inputSize);
    bool copyTail(int input, int output, qint64 offset, qint64 inputSize);
    bool readFailed(int error) const;
    bool writeFailed(int error) const;

    QString m_inputPath;
    QString m_outputPath;
    QByteArray m_key;
};
