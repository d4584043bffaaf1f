// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Decides which of a wheel's values go out when it smooths its motion or
// holds a dead band. The reference is the value last sent, not the last
// frame's, so a slow settle still arrives.
//
// A value is new when it moved by more than the send threshold (0.1 on the
// 0-127 scale, as for every wheel) from the last value sent, or when its
// output step (the whole part of the 0-127 output value) differs from the
// last step sent. A new value goes out when:
//  - its step lies more than `steps` away from the last step sent (with no
//    dead band, 0 steps: whenever it moved by more than the threshold); or
//  - it is pinned: a range end (the dead band never keeps the top or the
//    bottom of the range from being reached) or a glide step; or
//  - it has stayed inside the dead band for kSettleFrames frames since the
//    last message, on another step than the last one sent: then it goes
//    out once, so that the value the hand came to rest at is the one the
//    music hears. It settles once per rest.
// The first value after restart() always goes out.
// Pure state, one frame at a time; no clock, no I/O.
class OutputDeadBand
{
public:
    static constexpr int kSettleFrames = 25;
    static constexpr int kMaxSteps = 127;

    void setSteps(int steps);
    int steps() const { return m_steps; }

    // Nothing sent yet.
    void restart();

    // Whether a frame's `value` (0-127, what the change test compares) with
    // output value `out` goes out; when it does it becomes the reference.
    bool admit(float value, float out, bool pinned);

private:
    void take(float value, int step);

    int m_steps = 0;
    bool m_hasSent = false;
    float m_sentValue = 0.0f;
    int m_sentStep = 0;
    int m_quietFrames = 0;
    bool m_settled = true;
};
