// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/LinkHealth.h"

#include <QColor>
#include <QMetaObject>

#include <functional>
#include <memory>
#include <optional>

class ContinuousControlSource;
class Orvik;
class QObject;
class QQmlEngine;

// What the native items draw from: the wheels by slot, the bands by
// position, the focused band, the connection and the animation tick. The
// application provides it and attaches it to the QML engine that creates the
// items; an item finds it there when QML completes it (tests may hand it in
// directly).
//
// Threads: GUI thread.
class ItemPeers
{
public:
    virtual ~ItemPeers() = default;

    virtual ContinuousControlSource* sourceAt(int slot) const = 0;
    virtual Orvik* deviceAt(int position) const = 0;
    virtual std::shared_ptr<Orvik> deviceRefAt(int position) const = 0;
    virtual int focusedDevice() const = 0;
    virtual bool isConnected() const = 0;
    // The colour of the band at a list position.
    virtual QColor deviceColour(int position) const = 0;
    // Calls `onTick` on `receiver`'s thread at every animation tick (16 ms;
    // the tick runs only while frames arrive or something drawn changes).
    virtual QMetaObject::Connection onAnimationTick(QObject* receiver,
                                                    std::function<void()> onTick) const = 0;
    // The link figures of the band at a list position, when known; and a
    // call on `receiver`'s thread each time they are worked out anew (once
    // a second). Peers without link figures have none.
    virtual std::optional<LinkHealth::Band> linkHealthAt(int /*position*/) const
    {
        return std::nullopt;
    }
    virtual QMetaObject::Connection onLinkHealthUpdated(QObject* /*receiver*/,
                                                        std::function<void()> /*onUpdate*/) const
    {
        return {};
    }

    // Makes `peers` the one the items of `engine` find.
    static void attach(QQmlEngine* engine, ItemPeers* peers);
    // The peers attached to the QML engine that created `item`; none for an
    // item made outside QML.
    static ItemPeers* of(const QObject* item);
};
