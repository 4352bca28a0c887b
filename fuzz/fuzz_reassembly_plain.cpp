// Feeds the input to the station's receive path in receives of varying size,
// with the real handlers behind it (file pushes land in a scratch folder).
// After every pass the accumulator must hold nothing or one incomplete frame.
#include "AesCipher.h"
#include "FrameCodec.h"
#include "FuzzSupport.h"
#include "HandlerFactory.h"

#include <QtEndian>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    static AesCipher cipher;
    const int receive = 1 + data[0] * 31;
    const char *stream = reinterpret_cast<const char *>(data + 1);
    const int total = int(size - 1);

    QByteArray accumulator;
    for (int at = 0; at < total; at += receive) {
        accumulator.append(stream + at, qMin(receive, total - at));
        FrameCodec::reassemble(accumulator, cipher, &HandlerFactory::dispatchToHandler);
        if (accumulator.size() >= 3) {
            const int length = qFromBigEndian<quint16>(accumulator.constData());
            FuzzSupport::require(length >= 3 && length > accumulator.size());
        }
    }
    return 0;
}
