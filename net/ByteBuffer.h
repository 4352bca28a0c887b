#pragma once

#include <QtGlobal>

#include <memory>

// A growable byte queue: bytes are appended at the back and read or consumed
// from the front. Reads never go past the unread bytes, so a caller that
// checks the result cannot overrun a partially received frame.
class ByteBuffer
{
public:
    ByteBuffer();
    ByteBuffer(const char *data, quint64 count);

    ByteBuffer(const ByteBuffer &) = delete;
    ByteBuffer &operator=(const ByteBuffer &) = delete;

    void append(const char *data, quint64 count);
    // Drops count bytes from the front; a count beyond the unread bytes is ignored.
    void consume(quint64 count);
    // The next 2 bytes as they lie in memory, without advancing.
    bool peekU16(quint16 &out) const;
    bool read(char *destination, quint64 count);

    quint64 unread() const { return m_writePos - m_readPos; }
    quint64 capacity() const { return m_capacity; }
    quint64 readPos() const { return m_readPos; }
    const char *readPointer() const { return m_data.get() + m_readPos; }
    void clear() { m_readPos = m_writePos = 0; }

private:
    std::unique_ptr<char[]> m_data;
    quint64 m_capacity = 0;
    quint64 m_readPos = 0;
    quint64 m_writePos = 0;
};
