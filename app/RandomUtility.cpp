#include "RandomUtility.h"

#include <cstdlib>
#include <ctime>
#include <mutex>

namespace {

// Seeding from the clock before every draw would repeat the same value for a
// whole second; seed once per process instead.
void seedOnce()
{
    static std::once_flag seeded;
    std::call_once(seeded, [] { std::srand(static_cast<unsigned>(std::time(nullptr))); });
}

} // namespace

RandomUtility *RandomUtility::instance()
{
    static RandomUtility utility;
    return &utility;
}

QList<int> RandomUtility::distinctIndices(int count, int range) const
{
    QList<int> result;
    if (count < 1 || range < 1)
        return result;
    seedOnce();

    if (count >= range) {
        for (int i = 0; i < range; ++i)
            result.append(i);
        for (int i = range - 1; i > 0; --i)
            result.swapItemsAt(i, std::rand() % (i + 1));
        return result;
    }

    while (result.size() < count) {
        const int value = std::rand() % range;
        if (!result.contains(value))
            result.append(value);
    }
    return result;
}
