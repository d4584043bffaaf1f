// SPDX-License-Identifier: GPL-3.0-or-later
#include "JackDummyServer.h"

#include <juce_audio_devices/juce_audio_devices.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

namespace {

const QString kNotInstalled = QStringLiteral("jackd is not installed");

} // namespace

JackDummyServer::JackDummyServer(Mode mode, int period, bool realtime)
    : m_mode(mode), m_period(period), m_realtime(realtime)
{
}

JackDummyServer::~JackDummyServer()
{
    stop();
}

bool JackDummyServer::isMissing(const QString& problem)
{
    return problem == kNotInstalled;
}

QString JackDummyServer::start()
{
    qputenv("JACK_NO_AUDIO_RESERVATION", "1");
    qputenv("JACK_NO_START_SERVER", "1");
    if (m_mode == Mode::ReuseRunning && !qEnvironmentVariableIsEmpty("JACK_DEFAULT_SERVER")) {
        m_name = qEnvironmentVariable("JACK_DEFAULT_SERVER");
    } else {
        const QString jackd = QStandardPaths::findExecutable(QStringLiteral("jackd"));
        if (jackd.isEmpty())
            return kNotInstalled;
        m_name = QStringLiteral("kinetra-dummy-%1-%2")
                     .arg(QCoreApplication::applicationPid())
                     .arg(m_period);
        qputenv("JACK_DEFAULT_SERVER", m_name.toUtf8());
        m_process = std::make_unique<QProcess>();
        // Its console reports every late cycle; whoever needs xruns counts
        // them through the device instead.
        m_process->setStandardOutputFile(QProcess::nullDevice());
        m_process->setStandardErrorFile(QProcess::nullDevice());
        m_process->start(
            jackd, {m_realtime ? QStringLiteral("--realtime") : QStringLiteral("--no-realtime"),
                    QStringLiteral("-n"), m_name, QStringLiteral("-d"), QStringLiteral("dummy"),
                    QStringLiteral("-r"), QString::number(kSampleRate), QStringLiteral("-p"),
                    QString::number(m_period)});
        if (!m_process->waitForStarted(5000))
            return QStringLiteral("jackd did not start");
    }
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 15000) {
        std::unique_ptr<juce::AudioIODeviceType> type(
            juce::AudioIODeviceType::createAudioIODeviceType_JACK());
        if (!type)
            return QStringLiteral("the audio library was built without JACK");
        type->scanForDevices();
        if (!type->getDeviceNames(false).isEmpty())
            return {};
        if (m_process && m_process->state() == QProcess::NotRunning)
            return QStringLiteral("jackd exited");
        QThread::msleep(100);
    }
    return QStringLiteral("the JACK server did not come up");
}

void JackDummyServer::stop()
{
    if (!m_process)
        return;
    m_process->terminate();
    if (!m_process->waitForFinished(5000)) {
        m_process->kill();
        m_process->waitForFinished(2000);
    }
    m_process.reset();
}
