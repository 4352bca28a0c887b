#include "ByteBuffer.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr quint64 initialCapacity = 4096;
}

ByteBuffer::ByteBuffer()
    : m_data(new char[initialCapacity])
    , m_capacity(initialCapacity)
{
}

ByteBuffer::ByteBuffer(const char *data, quint64 count)
    : m_data(new char[std::max<quint64>(count, 1)])
    , m_capacity(count)
    , m_writePos(count)
{
    if (count > 0)
        std::memcpy(m_data.get(), data, count);
}

void ByteBuffer::append(const char *data, quint64 count)
{
    if (count == 0)
        return;
    const quint64 pending = unread();
    if (count > m_capacity - m_writePos) {
        quint64 size = pending + count;
        if (size > m_capacity)
            size = std::max(size, m_capacity + m_capacity / 2);
        std::unique_ptr<char[]> block(new char[std::max<quint64>(size, 1)]);
        if (pending > 0)
            std::memcpy(block.get(), m_data.get() + m_readPos, pending);
        m_data = std::move(block);
        m_capacity = size;
        m_readPos = 0;
        m_writePos = pending;
    }
    std::memcpy(m_data.get() + m_writePos, data, count);
    m_writePos += count;
}

void ByteBuffer::consume(quint64 count)
{
    const quint64 pending = unread();
    if (count > pending)
        return;
    const quint64 remaining = pending - count;
    if (remaining > 0)
        std::memmove(m_data.get(), m_data.get() + m_readPos + count, remaining);
    m_readPos = 0;
    m_writePos = remaining;
}

bool ByteBuffer::peekU16(quint16 &out) const
{
    if (unread() < 2)
        return false;
    std::memcpy(&out, m_data.get() + m_readPos, 2);
    return true;
}

bool ByteBuffer::read(char *destination, quint64 count)
{
    if (unread() < count)
        return false;
    if (count > 0)
        std::memcpy(destination, m_data.get() + m_readPos, count);
    m_readPos += count;
    return true;
}
