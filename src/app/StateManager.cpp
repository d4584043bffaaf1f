// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/StateManager.h"

namespace {

const QColor kDeviceColours[StateManager::kColorCount] = {
    QColor(QStringLiteral("#ffa500")),
    QColor(QStringLiteral("#ffd700")),
    QColor(QStringLiteral("#00bfff")),
    QColor(QStringLiteral("#ff00ff")),
};

// Stores `value` and reports whether it differed from what was stored.
template <typename T> bool exchangeChanged(std::atomic<T>& item, T value)
{
    return item.exchange(value) != value;
}

} // namespace

StateManager::StateManager(DeviceLookup devices, QObject* parent)
    : QObject(parent), m_devices(std::move(devices))
{
}

QColor StateManager::colorCodeOf(int index)
{
    const int wrapped = ((index % kColorCount) + kColorCount) % kColorCount;
    return kDeviceColours[wrapped];
}

void StateManager::setAudioSampleRate(int newValue)
{
    if (exchangeChanged(m_audioSampleRate, newValue))
        Q_EMIT audioSampleRateChanged(newValue);
}

void StateManager::setAudioBufferSize(int newValue)
{
    if (exchangeChanged(m_audioBufferSize, newValue))
        Q_EMIT controlSampleRateChanged(newValue);
}

void StateManager::setTempo(int newValue)
{
    if (exchangeChanged(m_tempo, newValue))
        Q_EMIT tempoChanged(newValue);
}

void StateManager::setHiResMidiState(bool newState)
{
    if (exchangeChanged(m_isHighResMidiOn, newState))
        Q_EMIT hiResMidiStateChanged(newState);
}

void StateManager::setConnectionState(bool newState)
{
    if (exchangeChanged(m_isConnected, newState))
        Q_EMIT connectionStateChanged(newState);
}

void StateManager::setMappingModeState(bool newState)
{
    if (exchangeChanged(m_isInMappingMode, newState))
        Q_EMIT mappingModeStateChanged(newState);
}

void StateManager::setLiveModeState(bool newState)
{
    if (exchangeChanged(m_isLiveMode, newState))
        Q_EMIT liveModeStateChanged(newState);
}

void StateManager::setFloatingWindowState(bool newState)
{
    if (exchangeChanged(m_isWindowOnTop, newState))
        Q_EMIT floatingWindowStateChanged(newState);
}

void StateManager::setSendingClockState(bool newState)
{
    m_isSendingClock = newState;
    Q_EMIT sendingClockStateChanged(newState);
}

void StateManager::setSyncingToClockState(bool newState)
{
    m_isSyncingToClock = newState;
    Q_EMIT synchingToClockStateChanged(newState);
}

void StateManager::setVirtualKeyboardState(bool newState)
{
    m_isVKeyOn = newState;
    Q_EMIT virtualKeyboardStateChanged(newState);
}

void StateManager::setArpeggiatorState(bool newState)
{
    m_isArpOn = newState;
    Q_EMIT arpeggiatorStateChanged(newState);
}

void StateManager::setAccessibilityState(bool newState)
{
    m_isAccessibilityModeOn = newState;
    Q_EMIT accessibilityStateChanged(newState);
}

void StateManager::setPresetBayState(bool shown)
{
    m_isPresetBayShown = shown;
    if (shown) {
        m_focusedSource = -1;
        Q_EMIT focusedSourceChanged();
        // A receiver of focusedSourceChanged may have focused a source again;
        // the bay and a focused source are never shown together.
        if (m_focusedSource.load() >= 0)
            setPresetBayState(false);
    }
    Q_EMIT presetBayStateChanged(shown);
}

void StateManager::setFocusedDevice(int index)
{
    m_focusedDevice = index;
    if (index < 0)
        return;
    Q_EMIT deviceFocusChanged(m_devices ? m_devices(index) : nullptr);
}

void StateManager::setFocusedSource(int slot)
{
    m_focusedSource = slot;
    Q_EMIT focusedSourceChanged();
    if (m_focusedSource.load() >= 0) {
        m_isPresetBayShown = false;
        Q_EMIT presetBayStateChanged(false);
    }
}
