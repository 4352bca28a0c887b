#pragma once

#include <QObject>
#include <QString>

class QSaveFile;

// Stores a file that the examination server pushes in chunks. The server is a
// remote peer, so its file name is checked before anything is written, and the
// bytes go to a temporary file that replaces the target only when the
// transfer is closed: an interrupted transfer never leaves a truncated file in
// place of a good one. A transfer belongs to the link it started on; chunks
// or an end that arrive with no transfer open are ignored.
class VideoObject : public QObject
{
public:
    explicit VideoObject(QObject *parent = nullptr);
    ~VideoObject() override;

    // Starts a transfer; an unfinished earlier one is discarded. Names that are
    // empty, absolute, contain "..", or resolve outside the working directory
    // are refused and the transfer's chunks are then ignored.
    void openFile(const QString &path);
    void writeData(const char *data, int length);
    // Commits the transfer: the target is replaced atomically.
    void closeFile();
    // Drops an unfinished transfer, leaving the target as it was: the link
    // that carried it is gone, and no later link may continue it.
    void abandon();

    bool isOpen() const { return m_file != nullptr; }

    // Why a name from the server is not acceptable, or an empty text.
    static QString refusalReason(const QString &path);

private:
    void discard();

    QSaveFile *m_file = nullptr;
    QString m_name;
    // Set by a refused name: its chunks and end are expected and ignored
    // without further lines.
    bool m_refused = false;
    // Chunks ignored since the last start or end, so that a stray run of
    // them costs one line, not one per chunk.
    int m_strayChunks = 0;
};
