// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "protocol/Quaternion.h"

#include <QByteArray>

#include <array>
#include <cstdint>
#include <optional>

// The receiver's wire format: every frame is a header byte (type in bits
// 0-2, slot in bits 4-7), two unused bytes, a type-specific body, a
// CRC-16/CCITT-FALSE over everything before it (low byte first) and the
// terminator "se". Pure functions, no I/O.
class FrameCodec
{
public:
    enum FrameType : uint8_t
    {
        Motion = 1,
        DeviceList = 4,
        BandEvent = 5
    };

    enum BandCommand : uint8_t
    {
        Blink = 0x09,
        LeftHand = 0x11,
        RightHand = 0x12
    };

    enum BandEventCode : uint8_t
    {
        BypassOn = 0x01,
        BypassOff = 0x02,
        MappingRequest = 0x10
    };

    static constexpr int kMotionLength = 29;
    static constexpr int kDeviceListLength = 48;
    static constexpr int kBandEventLength = 8;
    static constexpr int kMaxFrameLength = 48;
    static constexpr int kMinFrameLength = 5;
    static constexpr uint8_t kTerminator0 = 0x73; // 's'
    static constexpr uint8_t kTerminator1 = 0x65; // 'e'

    struct MotionFrame
    {
        uint8_t slot = 0;
        Quaternion q;
        int16_t ax = 0;
        int16_t ay = 0;
        int16_t az = 0;
    };

    struct DeviceListFrame
    {
        std::array<uint64_t, 4> uuids{};
        std::array<uint8_t, 4> slots{};
    };

    struct BandEventFrame
    {
        uint8_t slot = 0;
        uint8_t code = 0;
    };

    static uint16_t crc16(const uint8_t* data, int size, uint16_t crc = 0xFFFF);
    static uint16_t crc16(const QByteArray& bytes);

    static uint8_t typeOf(uint8_t header) { return header & 0x07; }
    static uint8_t slotOf(uint8_t header) { return header >> 4; }
    // The fixed length of a frame type, or 0 for a type without one.
    static int lengthOfType(uint8_t type);

    // True when the `size` bytes at `data` end in "se" and carry a matching
    // CRC (and are long enough to hold one).
    static bool isWellFormed(const uint8_t* data, int size);

    static QByteArray greeting();
    static QByteArray bandCommand(uint8_t slot, uint8_t command);

    // Decoders take one whole, well-formed frame of the right type and
    // length; anything else yields nothing. A motion frame whose quaternion
    // is not finite yields nothing either.
    static std::optional<MotionFrame> decodeMotion(const uint8_t* data, int size);
    static std::optional<DeviceListFrame> decodeDeviceList(const uint8_t* data, int size);
    static std::optional<BandEventFrame> decodeBandEvent(const uint8_t* data, int size);

    // Builders for receiver-side frames (the simulator and the tests).
    static QByteArray encodeMotion(const MotionFrame& frame);
    static QByteArray encodeDeviceList(const DeviceListFrame& frame);
    static QByteArray encodeBandEvent(const BandEventFrame& frame);
    // Appends the CRC and the terminator to a frame body.
    static QByteArray seal(QByteArray body);
};
