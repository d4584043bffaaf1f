// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>

class Orvik;
struct MotionRecord;

// What the receiver link needs of the list of known bands: look-ups by
// identifier and position, adding a band the receiver announces, and the
// hand-over of a frame. The engine keeps the list.
//
// Threads: every call may come from the link thread.
class DeviceDirectory
{
public:
    virtual ~DeviceDirectory() = default;

    // A reference that keeps the band alive while the caller uses it.
    virtual std::shared_ptr<Orvik> deviceRefById(uint64_t uuid) const = 0;
    virtual std::shared_ptr<Orvik> deviceRefAt(int at) const = 0;
    virtual int getNumOfDevice() const = 0;
    virtual bool isDeviceExist(uint64_t uuid) const = 0;
    virtual void addNewDevice(uint64_t uuid) = 0;
    // When a frame's bytes were read, on the clock the application gives the
    // link (the audio clock: the sample the frame's MIDI is due on), or
    // kUnstamped when the link has no clock.
    static constexpr int64_t kUnstamped = INT64_MIN;

    // A frame moved `device`'s control values to `record`: the sources that
    // follow it work on this record, on the calling thread, and stamp what
    // they send with `arrival` (with "now" when unstamped).
    virtual void deliverMotion(const Orvik& device, const MotionRecord& record,
                               int64_t arrival = kUnstamped) = 0;
    // A frame of `device` that moved none of its control values: only the
    // sources that smooth their motion work on it.
    virtual void deliverStillFrame(const Orvik& device, const MotionRecord& record,
                                   int64_t arrival = kUnstamped)
    {
        (void)device;
        (void)record;
        (void)arrival;
    }
};
