// SPDX-License-Identifier: GPL-3.0-or-later
#include "osc/OSCHandler.h"

#include "osc/OscControlPacket.h"

#include <juce_osc/juce_osc.h>

#include <QLoggingCategory>

#include <exception>

Q_LOGGING_CATEGORY(lcOsc, "kinetra.osc")

OSCHandler::OSCHandler(QObject* parent)
    : OSCHandler(QString::fromLatin1(kDefaultHost), kDefaultPort, parent)
{
}

OSCHandler::OSCHandler(const QString& host, int port, QObject* parent)
    : QObject(parent), m_sender(std::make_unique<juce::OSCSender>()), m_host(host), m_port(port)
{
    m_connected = m_sender->connect(juce::String(host.toStdString()), port);
    if (!m_connected)
        qCWarning(lcOsc) << "cannot open the OSC socket for" << host << port;
}

OSCHandler::~OSCHandler() = default;

bool OSCHandler::sendControlRecords(const uint8_t* records, int count)
{
    if (!m_connected || records == nullptr || count < 1 || count > OscControlPacket::kMaxRecords)
        return false;
    // JUCE reports malformed messages by exceptions; none may leave here.
    try {
        juce::OSCMessage message{juce::OSCAddressPattern(kControlAddress)};
        for (int i = 0; i < count; ++i)
            message.addBlob(juce::MemoryBlock(records + i * OscControlPacket::kRecordSize,
                                              OscControlPacket::kRecordSize));
        if (!m_sender->send(message))
            return false;
    } catch (const std::exception& e) {
        qCWarning(lcOsc) << "cannot send" << kControlAddress << e.what();
        return false;
    }
    ++m_sent;
    return true;
}

bool OSCHandler::sendControlPacket(const OscControlPacket& packet)
{
    return sendControlRecords(packet.data(), packet.count());
}

bool OSCHandler::sendClose()
{
    if (!m_connected)
        return false;
    try {
        if (!m_sender->send(juce::OSCMessage{juce::OSCAddressPattern(kCloseAddress)}))
            return false;
    } catch (const std::exception& e) {
        qCWarning(lcOsc) << "cannot send" << kCloseAddress << e.what();
        return false;
    }
    ++m_sent;
    return true;
}

void OSCHandler::publishControls(const LiveControl* controls, int count)
{
    OscControlPacket packet;
    for (int i = 0; i < count; ++i)
        packet.append(controls[i].name, controls[i].value, controls[i].eventNumber,
                      controls[i].channel);
    if (!packet.isEmpty())
        sendControlPacket(packet);
}
