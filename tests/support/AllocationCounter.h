// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Counts the heap allocations made by the calling thread between start() and
// stop(). The global operator new and delete are replaced in
// AllocationCounter.cpp, so only the test binaries that compile that file
// (the realtime-safety tests) carry the replacement.
class AllocationCounter
{
public:
    static void start();
    // The allocations since start() on this thread.
    static long stop();
};
