// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/HeadlessRunner.h"

#include "app/ActionHandler.h"
#include "app/AppRuntime.h"
#include "app/CountingMidiBackend.h"
#include "app/JuceMessagePump.h"
#include "app/LinkHealthMonitor.h"
#include "app/UnixSignalQuitter.h"
#include "engine/MotionControlEngine.h"
#include "link/LinkHealth.h"
#include "link/Orvik.h"
#include "midi/JuceMidiBackend.h"
#include "storage/FileManager.h"
#include "storage/JsonFile.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QTimer>

#include <juce_events/juce_events.h>

#include <cstdio>
#include <memory>

Q_LOGGING_CATEGORY(lcHeadless, "kinetra.headless")

HeadlessRunner::HeadlessRunner(CommandLineOptions options) : m_options(std::move(options)) {}

QString HeadlessRunner::statusLine(const MotionControlEngine& engine, const LinkHealth& health,
                                   uint64_t midiMessagesSent)
{
    const int known = engine.getNumOfDevice();
    int connected = 0;
    for (int i = 0; i < known; ++i)
        if (const Orvik* device = engine.getDeviceAt(i); device && device->isActive())
            ++connected;
    double framesPerSecond = 0.0;
    QString bands;
    for (size_t i = 0; i < health.bands().size(); ++i) {
        const LinkHealth::Band& band = health.bands()[i];
        framesPerSecond += band.framesPerSecond;
        bands += QStringLiteral("; band %1: %2%3")
                     .arg(i + 1)
                     .arg(LinkHealth::describe(band))
                     .arg(band.warning ? QStringLiteral(" (poor link)") : QString());
    }
    return QStringLiteral("status: %1 of %2 bands connected, %3 frames/s, %4 MIDI messages sent%5")
        .arg(connected)
        .arg(known)
        .arg(qRound(framesPerSecond))
        .arg(midiMessagesSent)
        .arg(bands);
}

int HeadlessRunner::run(int& argc, char** argv, const LinkSetup& setUpLink,
                        const std::function<void()>& tearDownLink)
{
    // A patch that cannot be read stops the start, before anything runs or
    // anything is saved.
    QString patch;
    if (!m_options.patchPath.isEmpty()) {
        patch = QFileInfo(m_options.patchPath).absoluteFilePath();
        const JsonFile::ReadResult read = JsonFile::read(patch);
        if (!read.ok() || !read.document.isObject()) {
            std::fprintf(stderr, "kinetra: cannot load the patch %s: %s\n", qPrintable(patch),
                         read.ok() ? "its top level is not an object" : qPrintable(read.error));
            return 1;
        }
    }

    // Warnings and the status line carry the program's name; debug output
    // is off unless QT_LOGGING_RULES turns it on.
    qSetMessagePattern(QStringLiteral("kinetra: %{if-warning}warning: %{endif}"
                                      "%{if-critical}error: %{endif}%{if-fatal}fatal: %{endif}"
                                      "%{message}"));
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));

    QCoreApplication app(argc, argv);
    UnixSignalQuitter signalQuitter;
    if (!signalQuitter.isInstalled())
        qCWarning(lcHeadless) << "cannot catch the quit signals; the patch is not saved on kill";

    AppRuntime::Options runtimeOptions;
    runtimeOptions.port = m_options.port;
    if (setUpLink && !setUpLink(runtimeOptions)) {
        if (tearDownLink)
            tearDownLink();
        return 1;
    }

    juce::MessageManager::getInstance();
    JuceMessagePump juicePump;
    juicePump.start();

    auto midi = std::make_shared<CountingMidiBackend>(
        m_options.midiService == CommandLineOptions::MidiService::System
            ? std::make_shared<JuceMidiBackend>()
            : nullptr);
    runtimeOptions.midiBackend = midi;

    auto runtime = std::make_unique<AppRuntime>(&app, runtimeOptions);
    runtime->createSharedObjects();
    runtime->loadPersistentState();
    if (!patch.isEmpty())
        runtime->fileManager()->loadPatchAt(patch, false, false);
    runtime->connectSignals();
    runtime->setLibraryShutdown([&juicePump] {
        juicePump.stop();
        ActionHandler::shutDownAudioLibrary();
    });
    runtime->startAudio();

    QTimer status;
    status.setInterval(kStatusIntervalMs);
    QObject::connect(&status, &QTimer::timeout, &app, [&] {
        if (runtime->hasShutDown())
            return;
        const QString line =
            statusLine(*runtime->engine(), runtime->linkHealth()->health(), midi->messagesSent());
        std::fprintf(stderr, "kinetra: %s\n", line.toUtf8().constData());
        std::fflush(stderr);
    });
    status.start();
    std::fprintf(stderr, "kinetra: running without a window (pid %lld)\n",
                 static_cast<long long>(QCoreApplication::applicationPid()));
    std::fflush(stderr);

    const int code = QCoreApplication::exec();
    status.stop();

    runtime.reset();
    if (tearDownLink)
        tearDownLink();
    return code;
}
