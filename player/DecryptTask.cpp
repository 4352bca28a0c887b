#include "DecryptTask.h"

#include "PlayerLogging.h"
#include "Rc4Cipher.h"

#include <QDebug>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>

#include <cerrno>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// Plain system calls rather than QFile: a contest's clips may be only tens
// of KiB each, and then the per-file costs of Qt's buffered files, its
// temporary-file naming and its allocations outweigh the deciphering.
namespace {

constexpr size_t fallbackChunkSize = 256 * 1024;

// Closes on every path out, so no failure leaks a descriptor.
class Descriptor
{
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;

    int get() const { return m_fd; }
    // The close of a written file can report a delayed write error.
    int release()
    {
        const int result = ::close(m_fd);
        m_fd = -1;
        return result;
    }

private:
    int m_fd;
};

// Fills buffer up to its size or the end of the file; -1 on a read error
// (errno set), else the count read.
ssize_t readFully(int fd, char *buffer, size_t size)
{
    size_t got = 0;
    while (got < size) {
        const ssize_t n = ::read(fd, buffer + got, size - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        got += size_t(n);
    }
    return ssize_t(got);
}

bool writeFully(int fd, const char *buffer, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, buffer, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        buffer += n;
        size -= size_t(n);
    }
    return true;
}

// The key stream restarts with every video, so under one key every video's
// prefix is enciphered with the same bytes. They are made once per key and
// run (the cipher runs at a few hundred MB/s, slower than a copy), and
// deciphering a video is then a XOR.
QByteArray prefixKeyStream(const QByteArray &key)
{
    static QMutex mutex;
    static QByteArray cachedKey;
    static QByteArray cachedStream;
    QMutexLocker lock(&mutex);
    if (cachedStream.isEmpty() || cachedKey != key) {
        QByteArray stream(int(Constants::encryptedPrefixSize), '\0');
        Rc4Cipher(key).encrypt(stream.constData(), stream.data(), stream.size());
        cachedStream = stream;
        cachedKey = key;
    }
    return cachedStream;
}

void applyKeyStream(char *data, const char *stream, size_t size)
{
    size_t k = 0;
    for (; k + sizeof(std::uint64_t) <= size; k += sizeof(std::uint64_t)) {
        std::uint64_t word, mask;
        std::memcpy(&word, data + k, sizeof word);
        std::memcpy(&mask, stream + k, sizeof mask);
        word ^= mask;
        std::memcpy(data + k, &word, sizeof word);
    }
    for (; k < size; ++k)
        data[k] = char(data[k] ^ stream[k]);
}

// The kernel refuses a copy between these two files, rather than failing
// to read or write them: copy through user space instead.
bool kernelCopyUnsupported(int error)
{
    return error == EXDEV || error == ENOSYS || error == EINVAL || error == EOPNOTSUPP || error == EBADF
        || error == EPERM;
}

} // namespace

DecryptTask::DecryptTask(const QString &inputPath, const QString &outputPath,
                         const QByteArray &key)
    : m_inputPath(inputPath)
    , m_outputPath(outputPath)
    , m_key(key)
{
}

DecryptTask::~DecryptTask() = default;

void DecryptTask::run()
{
    Descriptor input(::open(QFile::encodeName(m_inputPath).constData(), O_RDONLY | O_CLOEXEC));
    struct stat inputInfo;
    if (input.get() < 0 || ::fstat(input.get(), &inputInfo) != 0) {
        qCInfo(lcPlayer).noquote() << "Can't open file to decrypt: " + m_inputPath;
        return;
    }

    // Written under a temporary name beside the target and renamed into
    // place when complete; anything short of that removes the temporary.
    // Nothing is flushed to the disk: the copy is scratch data removed at
    // shutdown, and a sync per video made the preparation of a contest
    // several times slower than copying its files.
    const QByteArray finalName = QFile::encodeName(m_outputPath);
    QByteArray temporaryName = finalName + ".XXXXXX";
    Descriptor output(::mkostemp(temporaryName.data(), O_CLOEXEC));
    if (output.get() < 0) {
        qCInfo(lcPlayer).noquote() << "Can't open file to write decrypted data";
        return;
    }

    const qint64 inputSize = S_ISREG(inputInfo.st_mode) ? qint64(inputInfo.st_size) : -1;
    bool complete = decryptInto(input.get(), output.get(), inputSize);
    if (complete && output.release() != 0)
        complete = writeFailed(errno);
    // rename(2) replaces an existing copy in one step.
    if (complete && std::rename(temporaryName.constData(), finalName.constData()) != 0) {
        qCInfo(lcPlayer).noquote() << "Can't write decrypted data: " + m_outputPath;
        complete = false;
    }
    if (!complete)
        ::unlink(temporaryName.constData());
}

bool DecryptTask::decryptInto(int input, int output, qint64 inputSize)
{
    // The prefix goes through the cipher in one call, as the key stream
    // restarts on every call. A clip shorter than the prefix is read and
    // written in one go; one byte more than its size shows that it ended.
    const qint64 prefixSize = Constants::encryptedPrefixSize;
    const size_t bufferSize = size_t(inputSize >= 0 && inputSize < prefixSize ? inputSize + 1 : prefixSize);
    std::unique_ptr<char[]> prefix(new char[bufferSize]);
    ssize_t got = readFully(input, prefix.get(), bufferSize);
    if (got < 0)
        return readFailed(errno);
    if (size_t(got) == bufferSize && qint64(got) < prefixSize) {
        // The file grew since it was measured: read the rest of the prefix.
        std::unique_ptr<char[]> whole(new char[size_t(prefixSize)]);
        std::memcpy(whole.get(), prefix.get(), size_t(got));
        prefix = std::move(whole);
        const ssize_t more = readFully(input, prefix.get() + got, size_t(prefixSize - got));
        if (more < 0)
            return readFailed(errno);
        got += more;
    }
    if (got > 0) {
        applyKeyStream(prefix.get(), prefixKeyStream(m_key).constData(), size_t(got));
        if (!writeFully(output, prefix.get(), size_t(got)))
            return writeFailed(errno);
    }
    if (qint64(got) < prefixSize)
        return true;
    return copyTail(input, output, got, inputSize);
}

// The plain rest is copied inside the kernel (or shared by the file system
// where it can), never through this process's memory.
bool DecryptTask::copyTail(int input, int output, qint64 offset, qint64 inputSize)
{
    for (;;) {
        const ssize_t n = ::copy_file_range(input, nullptr, output, nullptr, size_t(1) << 30, 0);
        if (n > 0) {
            offset += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && !kernelCopyUnsupported(errno)) {
            // Which side failed the kernel does not say; the source's
            // errors are by far the likelier.
            return errno == ENOSPC || errno == EFBIG || errno == EDQUOT ? writeFailed(errno) : readFailed(errno);
        }
        // An end reported before the measured size is not trusted (some
        // file systems report none through this call): the loop below
        // finds the true end.
        if (n == 0 && (inputSize < 0 || offset >= inputSize))
            return true;
        break;
    }

    std::vector<char> chunk(fallbackChunkSize);
    for (;;) {
        const ssize_t got = readFully(input, chunk.data(), chunk.size());
        if (got < 0)
            return readFailed(errno);
        if (got == 0)
            return true;
        if (!writeFully(output, chunk.data(), size_t(got)))
            return writeFailed(errno);
    }
}

bool DecryptTask::readFailed(int error) const
{
    qCInfo(lcPlayer).noquote() << "Can't read file to decrypt: " + m_inputPath << qt_error_string(error);
    return false;
}

bool DecryptTask::writeFailed(int error) const
{
    qCInfo(lcPlayer).noquote() << "Can't write decrypted data: " + m_outputPath << qt_error_string(error);
    return false;
}
