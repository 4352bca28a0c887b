#include "DecryptTask.h"

#include "Rc4Cipher.h"

#include <QDebug>
#include <QFile>
#include <QSaveFile>

namespace {

constexpr qint64 copyChunkSize = 256 * 1024;

} // namespace

DecryptTask::DecryptTask(const QString &inputPath, const QString &outputPath,
                         const QByteArray &key)
    : m_inputPath(inputPath)
    , m_outputPath(outputPath)
    , m_videoCipher(std::make_unique<Rc4Cipher>(key))
{
}

DecryptTask::~DecryptTask() = default;

void DecryptTask::run()
{
    QFile input(m_inputPath);
    if (!input.open(QIODevice::ReadOnly)) {
        qInfo().noquote() << "Can't open file to decrypt: " + m_inputPath;
        return;
    }

    // QSaveFile writes to a temporary file beside the target and renames it
    // into place on commit; anything short of commit removes the temporary.
    QSaveFile output(m_outputPath);
    if (!output.open(QIODevice::WriteOnly)) {
        qInfo().noquote() << "Can't open file to write decrypted data";
        return;
    }

    // Leaving without commit discards the temporary file, so a failed
    // copy leaves nothing behind under either name.
    if (!decryptInto(input, output))
        return;
    if (!output.commit())
        qInfo().noquote() << "Can't write decrypted data: " + m_outputPath << output.errorString();
}

bool DecryptTask::decryptInto(QFileDevice &input, QFileDevice &output)
{
    // The prefix is read in full first: the key stream restarts on every
    // cipher call, so the enciphered part must go through in one call.
    QByteArray prefix = input.read(Constants::encryptedPrefixSize);
    if (prefix.size() < Constants::encryptedPrefixSize && !input.atEnd())
        return readFailed(input);
    if (!prefix.isEmpty()) {
        m_videoCipher->decrypt(prefix.constData(), prefix.data(), prefix.size());
        if (output.write(prefix) != prefix.size())
            return writeFailed(output);
    }
    prefix = QByteArray();

    QByteArray chunk(copyChunkSize, Qt::Uninitialized);
    for (;;) {
        const qint64 got = input.read(chunk.data(), chunk.size());
        if (got < 0 || (got == 0 && !input.atEnd()))
            return readFailed(input);
        if (got == 0)
            return true;
        if (output.write(chunk.constData(), got) != got)
            return writeFailed(output);
    }
}

bool DecryptTask::readFailed(const QFileDevice &input) const
{
    qInfo().noquote() << "Can't read file to decrypt: " + m_inputPath << input.errorString();
    return false;
}

bool DecryptTask::writeFailed(const QFileDevice &output) const
{
    qInfo().noquote() << "Can't write decrypted data: " + m_outputPath << output.errorString();
    return false;
}
