// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/QmlTypes.h"

#include "link/Orvik.h"
#include "ui/DataMonitor.h"
#include "ui/OrvikQMLWrapper.h"
#include "ui/VMultiSlider.h"

#include <QMetaType>
#include <QQmlEngine>

#include <cstdint>

void registerQmlTypes()
{
    qmlRegisterType<DataMonitor>("VT.DataMonitor", 1, 0, "DataMonitor");
    qmlRegisterType<VMultiSlider>("VT.VMultiSlider", 1, 0, "VMultiSlider");
    qmlRegisterType<OrvikQMLWrapper>("VT.Orvik", 1, 0, "Orvik");
    qRegisterMetaType<uint64_t>("uint64_t");
    qRegisterMetaType<uint8_t>("uint8_t");
    qRegisterMetaType<Orvik*>("Orvik*");
}
