// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

#include <atomic>
#include <cstdint>

// What every kind of sensor device has: an identity fixed at construction, a
// list position kept by the engine, a user-visible name and a kind code.
class VHDevice : public QObject
{
    Q_OBJECT

public:
    VHDevice(uint64_t uuid, int kind, const QString& name, QObject* parent = nullptr);

    int getIndex() const { return m_index.load(); }
    // Stores the list position; emits nothing.
    void setIndex(int index) { m_index = index; }
    uint64_t getUuid() const { return m_uuid; }
    QString getName() const { return m_name; }
    void setName(const QString& name);
    int getKind() const { return m_kind; }

Q_SIGNALS:
    void nameChanged(VHDevice* sender);
    void indexChanged(VHDevice* sender);

private:
    // Read by the link thread when it walks the devices by position.
    std::atomic<int> m_index{0};
    const uint64_t m_uuid;
    QString m_name;
    const int m_kind;
};
