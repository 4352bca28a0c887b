// Reassembly throughput of the station's receive path: a recorded stream of
// mixed frames (plain file chunks, course lists and reviews, encrypted
// candidate answers of various sizes) is fed to the frame reassembly in
// 32 KiB receives, as the link's receiving thread does. Delivery only counts
// messages, so the figure is framing, parsing and decryption alone.
#include "AesCipher.h"
#include "ContestNameMessage.h"
#include "EnterResponseMessage.h"
#include "FrameCodec.h"
#include "ReviewMessage.h"
#include "SyncVideoMessage.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>

#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int receiveSize = 32768;

QByteArray recordStream(AesCipher &cipher, int plainShare, qint64 targetBytes)
{
    QRandomGenerator random(20261206);
    QByteArray stream;
    while (stream.size() < targetBytes) {
        const int pick = int(random.bounded(100));
        if (pick < plainShare) {
            if (pick % 3 == 0) {
                SyncVideoMessage chunk;
                chunk.setData(QByteArray(int(random.bounded(512, 65532)), char(pick)));
                stream += FrameCodec::buildFrame(chunk, cipher);
            } else if (pick % 3 == 1) {
                ContestNameMessage names;
                names.setIsResponse(1);
                names.setContestCode(QByteArray("B1;B2;C;D;E;FC"));
                names.setContestName(QByteArray("Hạng B1;Hạng B2;Hạng C;Hạng D;Hạng E;Hạng FC"));
                stream += FrameCodec::buildFrame(names, cipher);
            } else {
                ReviewMessage review;
                review.setText(QByteArray("5;4;3;5;0;2;5;4;1;5|1200;3400;5000;7000;9100;11000;"
                                          "13200;15500;17000;19999|11;24;31;45;52;61;73;84;95;99"));
                stream += FrameCodec::buildFrame(review, cipher);
            }
        } else {
            EnterResponseMessage response(true);
            response.setCode(0);
            response.setCert(2);
            response.setId(int(random.bounded(100000)));
            response.setPid(QByteArray("079203001234"));
            response.setFullName(QByteArray("Nguyễn Văn An"));
            response.setImage(QByteArray(int(random.bounded(64, 48000)), 'Q'));
            stream += FrameCodec::buildFrame(response, cipher);
        }
    }
    return stream;
}

struct Figure
{
    double megabytesPerSecond;
    double framesPerSecond;
    qint64 frames;
};

Figure measure(const QByteArray &stream, AesCipher &cipher, int rounds)
{
    // The reassembly writes a line for every receive that ends inside a
    // frame; standard output goes to /dev/null while the clock runs.
    std::fflush(stdout);
    const int saved = ::dup(STDOUT_FILENO);
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, STDOUT_FILENO);

    qint64 frames = 0;
    QElapsedTimer timer;
    timer.start();
    for (int round = 0; round < rounds; ++round) {
        QByteArray accumulator;
        for (int at = 0; at < stream.size(); at += receiveSize) {
            accumulator.append(stream.constData() + at, qMin(receiveSize, stream.size() - at));
            frames += FrameCodec::reassemble(accumulator, cipher, FrameCodec::Delivery()).delivered;
        }
    }
    const double seconds = timer.nsecsElapsed() / 1e9;

    std::fflush(stdout);
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
    ::close(null);
    const double bytes = double(stream.size()) * rounds;
    return {bytes / seconds / 1e6, frames / seconds, frames};
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    AesCipher cipher;
    cipher.setKey(QByteArray(32, char(0x42)));

    struct Mix
    {
        const char *name;
        int plainShare;
    };
    const Mix mixes[] = {{"mixed (70% plain, 30% encrypted)", 70},
                         {"plain only", 100},
                         {"encrypted only", 0}};
    std::printf("Reassembly in %d-byte receives, 64 MB stream, 3 rounds each\n", receiveSize);
    for (const Mix &mix : mixes) {
        const QByteArray stream = recordStream(cipher, mix.plainShare, 64 * 1000 * 1000);
        measure(stream, cipher, 1); // warm-up
        const Figure figure = measure(stream, cipher, 3);
        std::printf("  %-34s %8.1f MB/s  %9.0f frames/s  (%lld frames)\n", mix.name,
                    figure.megabytesPerSecond, figure.framesPerSecond,
                    static_cast<long long>(figure.frames));
    }
    return 0;
}
