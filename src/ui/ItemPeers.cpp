// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ItemPeers.h"

#include <QQmlEngine>
#include <QVariant>

namespace {
constexpr const char* kProperty = "_kinetra_item_peers";
}

void ItemPeers::attach(QQmlEngine* engine, ItemPeers* peers)
{
    if (engine)
        engine->setProperty(kProperty, QVariant::fromValue(reinterpret_cast<quintptr>(peers)));
}

ItemPeers* ItemPeers::of(const QObject* item)
{
    const QQmlEngine* engine = item ? qmlEngine(item) : nullptr;
    if (!engine)
        return nullptr;
    return reinterpret_cast<ItemPeers*>(engine->property(kProperty).value<quintptr>());
}
