// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ui/ItemPeers.h"

class LinkHealthMonitor;
class MotionControlEngine;
class StateManager;

// The native items' view of the back end: the engine's wheels and bands,
// the state's focus and connection, and the engine's animation tick.
class EngineItemPeers : public ItemPeers
{
public:
    EngineItemPeers(MotionControlEngine& engine, const StateManager& state);

    ContinuousControlSource* sourceAt(int slot) const override;
    Orvik* deviceAt(int position) const override;
    std::shared_ptr<Orvik> deviceRefAt(int position) const override;
    int focusedDevice() const override;
    bool isConnected() const override;
    QColor deviceColour(int position) const override;
    QMetaObject::Connection onAnimationTick(QObject* receiver,
                                            std::function<void()> onTick) const override;
    std::optional<LinkHealth::Band> linkHealthAt(int position) const override;
    QMetaObject::Connection onLinkHealthUpdated(QObject* receiver,
                                                std::function<void()> onUpdate) const override;

    // Where the link figures come from; none until set.
    void setLinkHealth(const LinkHealthMonitor* monitor) { m_linkHealth = monitor; }

private:
    MotionControlEngine& m_engine;
    const StateManager& m_state;
    const LinkHealthMonitor* m_linkHealth = nullptr;
};
