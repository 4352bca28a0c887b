#pragma once

#include "CandidateRecord.h"
#include "CandidateState.h"
#include "ServerStore.h"

// Server stores for the tests that run the real server: course K1 and
// candidates whose identity is made from their number.
namespace ServerSeed {

inline bool open(ServerStore &store, const QString &path)
{
    return store.open(path, ServerStore::OpenMode::CreateIfMissing)
           && store.addCourse({QStringLiteral("K1"), QStringLiteral("Khóa 1")});
}

inline bool addCandidate(ServerStore &store, const QString &number,
                         CandidateState::Value state = CandidateState::Ready)
{
    CandidateRecord c{0, number, QStringLiteral("K1"), 2, QStringLiteral("0790") + number,
                      QStringLiteral("Nguyễn Văn ") + number, QStringLiteral("aGVsbG8="), state};
    return store.addCandidate(&c);
}

// The id of a candidate of K1, or 0.
inline int idOf(ServerStore &store, const QString &number)
{
    CandidateRecord c;
    return store.candidate(QStringLiteral("K1"), number, &c) == ServerStore::Lookup::Found ? c.id : 0;
}

} // namespace ServerSeed
