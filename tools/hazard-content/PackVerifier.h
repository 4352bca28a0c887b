#pragma once

#include "PackSecrets.h"

#include <QString>
#include <QStringList>

class Exercise;

// Checks a content pack the way a station built with the given secrets will
// meet it: the digest, the password, the rows per chapter against the
// examination's structure, and every video present, decryptable with the
// key and as long as its row says. One line per finding.
class PackVerifier
{
public:
    void setSecrets(const PackSecrets &secrets) { m_secrets = secrets; }

    // True when nothing failed.
    bool verify(const QString &packDir);
    // Lines starting "ok: " or "FAIL: ".
    QStringList findings() const { return m_findings; }

private:
    bool checkDigest(const QString &database);
    bool checkTable(const QString &database);
    void checkContent(const QString &packDir, const QString &database);
    void checkVideo(const QString &packDir, const QString &scratch, const Exercise *exercise,
                    const QString &what);
    void ok(const QString &text) { m_findings << QStringLiteral("ok: ") + text; }
    void fail(const QString &text);

    PackSecrets m_secrets;
    QStringList m_findings;
    bool m_failed = false;
};
