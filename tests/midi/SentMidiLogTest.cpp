// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/SentMidiLog.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

void send(SentMidiLog& log, std::initializer_list<uint8_t> bytes)
{
    std::vector<uint8_t> v(bytes);
    log.record(v.data(), static_cast<int>(v.size()));
}

} // namespace

TEST(SentMidiLogTest, KeepsTheNewestInOrderAndReadsThemOut)
{
    SentMidiLog log;
    send(log, {0xF8}); // clock ticks would flood the monitor
    EXPECT_EQ(log.count(), 0u);
    for (int i = 0; i < SentMidiLog::kCapacity + 10; ++i)
        send(log, {0xB0, 74, static_cast<uint8_t>(i % 128)});
    send(log, {0x91, 60, 100});
    send(log, {0xE0, 0x00, 0x40});
    send(log, {0xD2, 64});
    send(log, {0xFA});

    const std::vector<uint32_t> last = log.latest(5);
    ASSERT_EQ(last.size(), 5u);
    std::vector<std::string> text;
    for (uint32_t packed : last)
        text.push_back(SentMidiLog::describe(packed));
    EXPECT_EQ(text,
              (std::vector<std::string>{"CH1 CC74 = 73", "CH2 Note on 60 vel 100",
                                        "CH1 Pitch bend = 8192", "CH3 Aftertouch = 64", "Start"}));
    // Never more than it holds.
    EXPECT_EQ(log.latest(1000).size(), static_cast<size_t>(SentMidiLog::kCapacity));
}

// A reader running beside the writer only ever sees whole messages.
TEST(SentMidiLogTest, ReaderBesideTheWriterSeesWholeMessages)
{
    SentMidiLog log;
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int i = 0; i < 200000; ++i) {
            const uint8_t bytes[3] = {0xB0, static_cast<uint8_t>(i & 0x7F),
                                      static_cast<uint8_t>((i >> 7) & 0x7F)};
            log.record(bytes, 3);
        }
        done = true;
    });
    int bad = 0;
    while (!done) {
        for (uint32_t packed : log.latest(SentMidiLog::kCapacity))
            if ((packed & 0xFF) != 0xB0 || (packed >> 24) != 3)
                ++bad;
    }
    writer.join();
    EXPECT_EQ(bad, 0);
    EXPECT_EQ(log.count(), 200000u);
}
