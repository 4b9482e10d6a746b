#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>

#include <optional>

// Bounds-checked, little-endian view over bytes it does not own. Every read
// says whether it fit; offsets and lengths are 64-bit and checked without
// overflow, so hostile sizes from a file cannot walk outside the buffer.
class ByteCursor
{
public:
    explicit ByteCursor(QByteArrayView bytes)
        : bytes(bytes)
    {
    }

    qint64 size() const { return bytes.size(); }
    qint64 pos() const { return position; }
    qint64 remaining() const { return size() - position; }

    // True when [offset, offset + length) lies inside the bytes.
    bool has(qint64 offset, qint64 length) const
    {
        return offset >= 0 && length >= 0 && offset <= size() && length <= size() - offset;
    }

    bool seek(qint64 offset)
    {
        if (!has(offset, 0))
            return false;
        position = offset;
        return true;
    }

    bool skip(qint64 length)
    {
        if (!has(position, length))
            return false;
        position += length;
        return true;
    }

    // Absolute reads; empty when out of bounds.
    std::optional<quint8> u8At(qint64 offset) const
    {
        if (!has(offset, 1))
            return std::nullopt;
        return byteAt(offset);
    }

    std::optional<quint16> u16At(qint64 offset) const
    {
        if (!has(offset, 2))
            return std::nullopt;
        return quint16(byteAt(offset) | (byteAt(offset + 1) << 8));
    }

    std::optional<quint32> u32At(qint64 offset) const
    {
        if (!has(offset, 4))
            return std::nullopt;
        return quint32(byteAt(offset)) | (quint32(byteAt(offset + 1)) << 8) | (quint32(byteAt(offset + 2)) << 16)
            | (quint32(byteAt(offset + 3)) << 24);
    }

    std::optional<qint32> i32At(qint64 offset) const
    {
        const auto value = u32At(offset);
        if (!value)
            return std::nullopt;
        return qint32(*value);
    }

    // The bytes [offset, offset + length), or an empty view when they do not fit.
    QByteArrayView viewAt(qint64 offset, qint64 length) const
    {
        if (!has(offset, length))
            return {};
        return bytes.sliced(offset, length);
    }

    // Sequential reads from the current position; the position only moves
    // when the read fits.
    std::optional<quint8> readU8() { return advance(u8At(position), 1); }
    std::optional<quint16> readU16() { return advance(u16At(position), 2); }
    std::optional<quint32> readU32() { return advance(u32At(position), 4); }
    std::optional<qint32> readI32() { return advance(i32At(position), 4); }

    std::optional<QByteArrayView> readBytes(qint64 length)
    {
        if (!has(position, length))
            return std::nullopt;
        const QByteArrayView out = bytes.sliced(position, length);
        position += length;
        return out;
    }

private:
    quint32 byteAt(qint64 offset) const { return quint8(bytes[offset]); }

    template<typename T>
    std::optional<T> advance(std::optional<T> value, qint64 length)
    {
        if (value)
            position += length;
        return value;
    }

    QByteArrayView bytes;
    qint64 position = 0;
};
