#include "support/JackDummyServer.h"

#include <juce_audio_devices/juce_audio_devices.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStandardPaths>
#include <QThread>

namespace {

const QString kNotInstalled = QStringLiteral("jackd is not installed");

} // namespace

JackDummyServer::~JackDummyServer()
{
    if (!m_process)
        return;
    m_process->terminate();
    if (!m_process->waitForFinished(5000)) {
        m_process->kill();
        m_process->waitForFinished(2000);
    }
}

bool JackDummyServer::isMissing(const QString& problem)
{
    return problem == kNotInstalled;
}

QString JackDummyServer::start()
{
    qputenv("JACK_NO_AUDIO_RESERVATION", "1");
    qputenv("JACK_NO_START_SERVER", "1");
    if (qEnvironmentVariableIsEmpty("JACK_DEFAULT_SERVER")) {
        const QString jackd = QStandardPaths::findExecutable(QStringLiteral("jackd"));
        if (jackd.isEmpty())
            return kNotInstalled;
        const QString name =
            QStringLiteral("kinetra-test-%1").arg(QCoreApplication::applicationPid());
        qputenv("JACK_DEFAULT_SERVER", name.toUtf8());
        m_process = std::make_unique<QProcess>();
        m_process->setStandardOutputFile(QProcess::nullDevice());
        m_process->setStandardErrorFile(QProcess::nullDevice());
        m_process->start(jackd,
                         {QStringLiteral("--no-realtime"), QStringLiteral("-n"), name,
                          QStringLiteral("-d"), QStringLiteral("dummy"), QStringLiteral("-r"),
                          QStringLiteral("44100"), QStringLiteral("-p"), QStringLiteral("64")});
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
