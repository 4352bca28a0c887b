#pragma once

#include "Constants.h"

#include <QByteArray>
#include <QRunnable>
#include <QString>

#include <memory>

class CipherAlgorithm;
class QFileDevice;

// Writes the playable copy of one enciphered video. Only the leading
// megabyte is enciphered, so memory use is bounded by that prefix and a copy
// chunk whatever the video's length; the copy appears under its final name
// only once complete, so the player never opens a half-written file.
class DecryptTask : public QRunnable
{
public:
    DecryptTask(const QString &inputPath, const QString &outputPath,
                const QByteArray &key = Constants::videoKey());
    ~DecryptTask() override;

    void run() override;

private:
    bool decryptInto(QFileDevice &input, QFileDevice &output);
    bool readFailed(const QFileDevice &input) const;
    bool writeFailed(const QFileDevice &output) const;

    QString m_inputPath;
    QString m_outputPath;
    std::unique_ptr<CipherAlgorithm> m_videoCipher;
};
