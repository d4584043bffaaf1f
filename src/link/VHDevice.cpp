// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/VHDevice.h"

VHDevice::VHDevice(uint64_t uuid, int kind, const QString& name, QObject* parent)
    : QObject(parent), m_uuid(uuid), m_name(name), m_kind(kind)
{
}

void VHDevice::setName(const QString& name)
{
    m_name = name;
    Q_EMIT nameChanged(this);
}
