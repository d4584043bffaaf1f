// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/EngineItemPeers.h"

#include "app/LinkHealthMonitor.h"
#include "app/StateManager.h"
#include "engine/MotionControlEngine.h"
#include "link/Orvik.h"

EngineItemPeers::EngineItemPeers(MotionControlEngine& engine, const StateManager& state)
    : m_engine(engine), m_state(state)
{
}

ContinuousControlSource* EngineItemPeers::sourceAt(int slot) const
{
    return m_engine.getCSourceAt(slot);
}

Orvik* EngineItemPeers::deviceAt(int position) const
{
    return m_engine.getDeviceAt(position);
}

std::shared_ptr<Orvik> EngineItemPeers::deviceRefAt(int position) const
{
    return m_engine.deviceRefAt(position);
}

int EngineItemPeers::focusedDevice() const
{
    return m_state.getFocusedDevice();
}

bool EngineItemPeers::isConnected() const
{
    return m_state.getConnectionState();
}

QColor EngineItemPeers::deviceColour(int position) const
{
    return StateManager::colorCodeOf(position);
}

QMetaObject::Connection EngineItemPeers::onAnimationTick(QObject* receiver,
                                                         std::function<void()> onTick) const
{
    // The tick and the items both live on the GUI thread.
    return QObject::connect(&m_engine, &MotionControlEngine::animationTick, receiver,
                            std::move(onTick), Qt::DirectConnection);
}

std::optional<LinkHealth::Band> EngineItemPeers::linkHealthAt(int position) const
{
    const Orvik* device = m_engine.getDeviceAt(position);
    if (!m_linkHealth || !device)
        return std::nullopt;
    if (const LinkHealth::Band* band = m_linkHealth->health().band(device->getUuid()))
        return *band;
    return std::nullopt;
}

QMetaObject::Connection EngineItemPeers::onLinkHealthUpdated(QObject* receiver,
                                                             std::function<void()> onUpdate) const
{
    if (!m_linkHealth)
        return {};
    return QObject::connect(m_linkHealth, &LinkHealthMonitor::updated, receiver,
                            std::move(onUpdate));
}
