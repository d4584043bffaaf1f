// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/FrameCodec.h"

#include <cmath>
#include <cstring>

namespace {

float readFloat(const uint8_t* p)
{
    const uint32_t bits =
        uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

int16_t readInt16(const uint8_t* p)
{
    return static_cast<int16_t>(uint16_t(p[0]) | (uint16_t(p[1]) << 8));
}

uint64_t readUInt64(const uint8_t* p)
{
    uint64_t value = 0;
    for (int i = 7; i >= 0; --i)
        value = (value << 8) | p[i];
    return value;
}

void appendFloat(QByteArray& out, float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    for (int i = 0; i < 4; ++i)
        out.append(char((bits >> (8 * i)) & 0xFF));
}

void appendInt16(QByteArray& out, int16_t value)
{
    const auto bits = static_cast<uint16_t>(value);
    out.append(char(bits & 0xFF));
    out.append(char(bits >> 8));
}

const uint8_t* bytesOf(const QByteArray& a)
{
    return reinterpret_cast<const uint8_t*>(a.constData());
}

} // namespace

uint16_t FrameCodec::crc16(const uint8_t* data, int size, uint16_t crc)
{
    for (int i = 0; i < size; ++i) {
        crc = static_cast<uint16_t>((crc >> 8) | (crc << 8));
        crc ^= data[i];
        crc ^= static_cast<uint16_t>((crc & 0xFF) >> 4);
        crc ^= static_cast<uint16_t>(crc << 12);
        crc ^= static_cast<uint16_t>((crc & 0xFF) << 5);
    }
    return crc;
}

uint16_t FrameCodec::crc16(const QByteArray& bytes)
{
    return crc16(bytesOf(bytes), bytes.size());
}

int FrameCodec::lengthOfType(uint8_t type)
{
    switch (type) {
    case Motion:
        return kMotionLength;
    case DeviceList:
        return kDeviceListLength;
    case BandEvent:
        return kBandEventLength;
    default:
        return 0;
    }
}

bool FrameCodec::isWellFormed(const uint8_t* data, int size)
{
    if (size < kMinFrameLength)
        return false;
    if (data[size - 2] != kTerminator0 || data[size - 1] != kTerminator1)
        return false;
    const uint16_t carried = uint16_t(data[size - 4]) | (uint16_t(data[size - 3]) << 8);
    return crc16(data, size - 4) == carried;
}

QByteArray FrameCodec::seal(QByteArray body)
{
    const uint16_t crc = crc16(body);
    body.append(char(crc & 0xFF));
    body.append(char(crc >> 8));
    body.append(char(kTerminator0));
    body.append(char(kTerminator1));
    return body;
}

QByteArray FrameCodec::greeting()
{
    static const char body[] = {0x03, 0x00, 0x00, 0x20, 0x00, 0x00, 0x00};
    return seal(QByteArray(body, sizeof body));
}

QByteArray FrameCodec::bandCommand(uint8_t slot, uint8_t command)
{
    QByteArray body(9, '\0');
    body[0] = char(((slot & 0x0F) << 4) + 5);
    body[3] = char(command);
    return seal(body);
}

std::optional<FrameCodec::MotionFrame> FrameCodec::decodeMotion(const uint8_t* data, int size)
{
    if (size != kMotionLength || typeOf(data[0]) != Motion || !isWellFormed(data, size))
        return std::nullopt;
    MotionFrame f;
    f.slot = slotOf(data[0]);
    f.q.w = readFloat(data + 3);
    f.q.x = readFloat(data + 7);
    f.q.y = readFloat(data + 11);
    f.q.z = readFloat(data + 15);
    if (!std::isfinite(f.q.w) || !std::isfinite(f.q.x) || !std::isfinite(f.q.y) ||
        !std::isfinite(f.q.z))
        return std::nullopt;
    f.ax = readInt16(data + 19);
    f.ay = readInt16(data + 21);
    f.az = readInt16(data + 23);
    return f;
}

std::optional<FrameCodec::DeviceListFrame> FrameCodec::decodeDeviceList(const uint8_t* data,
                                                                        int size)
{
    if (size != kDeviceListLength || typeOf(data[0]) != DeviceList || !isWellFormed(data, size))
        return std::nullopt;
    DeviceListFrame f;
    for (int i = 0; i < 4; ++i) {
        f.uuids[size_t(i)] = readUInt64(data + 3 + 8 * i);
        f.slots[size_t(i)] = data[35 + i];
    }
    return f;
}

std::optional<FrameCodec::BandEventFrame> FrameCodec::decodeBandEvent(const uint8_t* data, int size)
{
    if (size != kBandEventLength || typeOf(data[0]) != BandEvent || !isWellFormed(data, size))
        return std::nullopt;
    return BandEventFrame{slotOf(data[0]), data[3]};
}

QByteArray FrameCodec::encodeMotion(const MotionFrame& frame)
{
    QByteArray body;
    body.reserve(kMotionLength);
    body.append(char(((frame.slot & 0x0F) << 4) | Motion));
    body.append(2, '\0');
    appendFloat(body, frame.q.w);
    appendFloat(body, frame.q.x);
    appendFloat(body, frame.q.y);
    appendFloat(body, frame.q.z);
    appendInt16(body, frame.ax);
    appendInt16(body, frame.ay);
    appendInt16(body, frame.az);
    return seal(body);
}

QByteArray FrameCodec::encodeDeviceList(const DeviceListFrame& frame)
{
    QByteArray body;
    body.reserve(kDeviceListLength);
    body.append(char(DeviceList));
    body.append(2, '\0');
    for (uint64_t id : frame.uuids)
        for (int i = 0; i < 8; ++i)
            body.append(char((id >> (8 * i)) & 0xFF));
    for (uint8_t slot : frame.slots)
        body.append(char(slot));
    body.append(5, '\0');
    return seal(body);
}

QByteArray FrameCodec::encodeBandEvent(const BandEventFrame& frame)
{
    QByteArray body;
    body.append(char(((frame.slot & 0x0F) << 4) | BandEvent));
    body.append(2, '\0');
    body.append(char(frame.code));
    return seal(body);
}
