#pragma once

#include <QObject>
#include <QString>

class QSaveFile;

// Stores a file that the examination server pushes in chunks. The server is a
// remote peer, so its file name is checked before anything is written, and the
// bytes go to a temporary file that replaces the target only when the
// transfer is closed: an interrupted transfer never leaves a truncated file in
// place of a good one.
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

    bool isOpen() const { return m_file != nullptr; }

    // Why a name from the server is not acceptable, or an empty text.
    static QString refusalReason(const QString &path);

private:
    void discard();

    QSaveFile *m_file = nullptr;
};
