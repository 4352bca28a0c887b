#include "DecryptTask.h"

#include "PlayerLogging.h"
#include "Rc4Cipher.h"

#include <QDebug>
#include <QFile>
#include <QTemporaryFile>

#include <cstdio>

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
        qCInfo(lcPlayer).noquote() << "Can't open file to decrypt: " + m_inputPath;
        return;
    }

    // Written under a temporary name beside the target and renamed into
    // place when complete; anything short of that removes the temporary.
    // Unlike QSaveFile nothing is flushed to the disk: the copy is scratch
    // data removed at shutdown, and a sync per video made the preparation
    // of a contest several times slower than copying its files.
    QTemporaryFile output(m_outputPath + QStringLiteral(".XXXXXX"));
    if (!output.open()) {
        qCInfo(lcPlayer).noquote() << "Can't open file to write decrypted data";
        return;
    }

    if (!decryptInto(input, output))
        return;
    if (!output.flush()) {
        writeFailed(output);
        return;
    }
    // rename(2) replaces an existing copy in one step, which QFile's own
    // rename refuses to do.
    if (std::rename(QFile::encodeName(output.fileName()).constData(),
                    QFile::encodeName(m_outputPath).constData()) != 0) {
        qCInfo(lcPlayer).noquote() << "Can't write decrypted data: " + m_outputPath;
        return;
    }
    output.setAutoRemove(false);
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
    qCInfo(lcPlayer).noquote() << "Can't read file to decrypt: " + m_inputPath << input.errorString();
    return false;
}

bool DecryptTask::writeFailed(const QFileDevice &output) const
{
    qCInfo(lcPlayer).noquote() << "Can't write decrypted data: " + m_outputPath << output.errorString();
    return false;
}
