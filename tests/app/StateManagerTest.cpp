// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/StateManager.h"
#include "engine/MotionControlEngine.h"
#include "link/Orvik.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

TEST(StateManager, FreshObjectHoldsTheInitialValues)
{
    StateManager s;
    EXPECT_FALSE(s.getConnectionState());
    EXPECT_FALSE(s.getMappingModeState());
    EXPECT_FALSE(s.getLiveModeState());
    EXPECT_FALSE(s.getFloatingWindowState());
    EXPECT_FALSE(s.getPresetBayState());
    EXPECT_FALSE(s.getHiResMidiState());
    EXPECT_TRUE(s.getSendingClockState());
    EXPECT_FALSE(s.getSyncingToClockState());
    EXPECT_TRUE(s.getVirtualKeyboardState());
    EXPECT_FALSE(s.getArpeggiatorState());
    EXPECT_FALSE(s.getAccessibilityState());
    EXPECT_EQ(s.getTempo(), 120);
    EXPECT_EQ(s.getAudioSampleRate(), 44100);
    EXPECT_EQ(s.getAudioBufferSize(), 64);
    EXPECT_EQ(s.getFocusedDevice(), -1);
    EXPECT_EQ(s.getFocusedSource(), -1);
}

TEST(StateManager, OnChangeSettersStayQuietForTheSameValue)
{
    StateManager s;
    QSignalSpy tempo(&s, &StateManager::tempoChanged);
    QSignalSpy buffer(&s, &StateManager::controlSampleRateChanged);
    QSignalSpy rate(&s, &StateManager::audioSampleRateChanged);
    QSignalSpy connected(&s, &StateManager::connectionStateChanged);
    s.setTempo(120);
    s.setAudioBufferSize(64);
    s.setAudioSampleRate(44100);
    s.setConnectionState(false);
    EXPECT_EQ(tempo.count() + buffer.count() + rate.count() + connected.count(), 0);

    s.setTempo(121);
    s.setTempo(121);
    ASSERT_EQ(tempo.count(), 1);
    EXPECT_EQ(tempo.at(0).at(0).toInt(), 121);
    s.setAudioBufferSize(512);
    ASSERT_EQ(buffer.count(), 1);
    EXPECT_EQ(buffer.at(0).at(0).toInt(), 512);
    s.setConnectionState(true);
    EXPECT_EQ(connected.count(), 1);
}

TEST(StateManager, EveryCallSettersAlwaysAnnounce)
{
    StateManager s;
    QSignalSpy clock(&s, &StateManager::sendingClockStateChanged);
    QSignalSpy sync(&s, &StateManager::synchingToClockStateChanged);
    QSignalSpy vkey(&s, &StateManager::virtualKeyboardStateChanged);
    QSignalSpy arp(&s, &StateManager::arpeggiatorStateChanged);
    QSignalSpy access(&s, &StateManager::accessibilityStateChanged);
    s.setSendingClockState(true);
    s.setSyncingToClockState(false);
    s.setVirtualKeyboardState(true);
    s.setArpeggiatorState(false);
    s.setAccessibilityState(false);
    ASSERT_EQ(clock.count(), 1);
    EXPECT_TRUE(clock.at(0).at(0).toBool());
    EXPECT_EQ(sync.count(), 1);
    EXPECT_EQ(vkey.count(), 1);
    EXPECT_EQ(arp.count(), 1);
    EXPECT_EQ(access.count(), 1);
}

TEST(StateManager, FocusedDeviceLooksTheDeviceUp)
{
    StateManager modes;
    MotionControlEngine engine(modes);
    engine.addNewDevice(77);
    StateManager s([&engine](int i) { return engine.getDeviceAt(i); });
    QSignalSpy focus(&s, &StateManager::deviceFocusChanged);

    s.setFocusedDevice(-1);
    EXPECT_EQ(s.getFocusedDevice(), -1);
    EXPECT_EQ(focus.count(), 0);

    s.setFocusedDevice(0);
    ASSERT_EQ(focus.count(), 1);
    EXPECT_EQ(focus.at(0).at(0).value<Orvik*>(), engine.getDeviceById(77));

    s.setFocusedDevice(2);
    ASSERT_EQ(focus.count(), 2);
    EXPECT_EQ(focus.at(1).at(0).value<Orvik*>(), nullptr);
    EXPECT_EQ(s.getFocusedDevice(), 2);
}

TEST(StateManager, PresetBayAndFocusedSourceExcludeEachOther)
{
    StateManager s;
    QList<QString> order;
    QObject::connect(&s, &StateManager::focusedSourceChanged,
                     [&] { order << QStringLiteral("source %1").arg(s.getFocusedSource()); });
    QObject::connect(&s, &StateManager::presetBayStateChanged,
                     [&](bool shown) { order << QStringLiteral("bay %1").arg(shown); });

    s.setPresetBayState(true);
    order.clear();
    s.setFocusedSource(3);
    EXPECT_EQ(order, (QList<QString>{"source 3", "bay 0"}));
    EXPECT_FALSE(s.getPresetBayState());

    order.clear();
    s.setPresetBayState(true);
    EXPECT_EQ(order, (QList<QString>{"source -1", "bay 1"}));
    EXPECT_EQ(s.getFocusedSource(), -1);
    EXPECT_TRUE(s.getPresetBayState());

    order.clear();
    s.setFocusedSource(-1);
    EXPECT_EQ(order, (QList<QString>{"source -1"}));
    EXPECT_TRUE(s.getPresetBayState());
}

TEST(StateManager, ReceiverThatRefocusesASourceKeepsTheBayClosed)
{
    StateManager s;
    bool refocused = false;
    QObject::connect(&s, &StateManager::focusedSourceChanged, [&] {
        if (!refocused && s.getFocusedSource() < 0) {
            refocused = true;
            s.setFocusedSource(5);
        }
    });
    s.setPresetBayState(true);
    EXPECT_EQ(s.getFocusedSource(), 5);
    EXPECT_FALSE(s.getPresetBayState());
}

TEST(StateManager, ColourTable)
{
    StateManager s;
    EXPECT_EQ(s.getColorCodeOn(0), QColor("#ffa500"));
    EXPECT_EQ(s.getColorCodeOn(1), QColor("#ffd700"));
    EXPECT_EQ(s.getColorCodeOn(2), QColor("#00bfff"));
    EXPECT_EQ(s.getColorCodeOn(3), QColor("#ff00ff"));
    EXPECT_EQ(s.getColorCodeOn(4), QColor("#ffa500"));
    EXPECT_EQ(s.getColorCodeOn(-1), QColor("#ff00ff"));
}
