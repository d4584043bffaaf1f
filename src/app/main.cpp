// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/AccessibilityTeardown.h"
#include "app/ActionHandler.h"
#include "app/AppRuntime.h"
#include "app/CommandLineOptions.h"
#include "app/CountingMidiBackend.h"
#include "app/HeadlessRunner.h"
#include "app/JuceMessagePump.h"
#include "app/MidiMonitor.h"
#include "app/MultisampleChoice.h"
#include "app/QmlTypes.h"
#include "app/RenderPriority.h"
#include "app/SceneGraphChoice.h"
#include "app/UnixSignalQuitter.h"
#include "app/VApplication.h"
#include "midi/MidiHandler.h"
#include "protocol/PerformanceRecorder.h"

#include "SimulatedReceiver.h"

#include <QDir>
#include <QFont>
#include <QLoggingCategory>
#include <QMetaObject>
#include <QPalette>
#include <QProcess>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QStringList>
#include <QSurfaceFormat>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <juce_events/juce_events.h>

#include <cstdio>
#include <memory>

Q_LOGGING_CATEGORY(lcMain, "kinetra.app")

namespace {

const QUrl kBuiltInMainDocument(QStringLiteral("qrc:/main.qml"));

void applyLook(QGuiApplication& app)
{
    QQuickStyle::setStyle(QStringLiteral("fusion"));
    QFont font(QStringLiteral("Verdana"), 11);
    font.setPixelSize(11);
    QGuiApplication::setFont(font);

    QPalette p;
    const QColor disabledGrey(127, 127, 127);
    p.setColor(QPalette::Window, QColor(53, 53, 53));
    p.setColor(QPalette::WindowText, Qt::white);
    p.setColor(QPalette::Disabled, QPalette::WindowText, disabledGrey);
    p.setColor(QPalette::Base, QColor(42, 42, 42));
    p.setColor(QPalette::AlternateBase, QColor(66, 66, 66));
    p.setColor(QPalette::ToolTipBase, QColor(53, 53, 53));
    p.setColor(QPalette::ToolTipText, Qt::white);
    p.setColor(QPalette::Text, QColor(240, 240, 240));
    p.setColor(QPalette::Disabled, QPalette::Text, disabledGrey);
    p.setColor(QPalette::Dark, QColor(35, 35, 35));
    p.setColor(QPalette::Shadow, QColor(20, 20, 20));
    p.setColor(QPalette::Button, QColor(80, 71, 90));
    p.setColor(QPalette::ButtonText, Qt::white);
    p.setColor(QPalette::Disabled, QPalette::ButtonText, disabledGrey);
    p.setColor(QPalette::BrightText, Qt::red);
    p.setColor(QPalette::Link, QColor(42, 130, 218));
    p.setColor(QPalette::Highlight, QColor(QStringLiteral("#ff8c00")));
    p.setColor(QPalette::Disabled, QPalette::Highlight, QColor(80, 80, 80));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Disabled, QPalette::HighlightedText, disabledGrey);
    app.setPalette(p);
}

QStringList argumentsOf(int argc, char** argv)
{
    QStringList list;
    for (int i = 0; i < argc; ++i)
        list << QString::fromLocal8Bit(argv[i]);
    return list;
}

// `--demo`: a simulated receiver with four bands runs on a thread of its
// own, on its own pseudo-terminal, and the link searches for that one.
// `--record`: the link hands every chunk it reads to the recorder. False
// when either cannot start (said on standard error).
bool setUpLink(const CommandLineOptions& options, std::unique_ptr<SimulatedReceiver>& demo,
               PerformanceRecorder& recorder, AppRuntime::Options& runtimeOptions)
{
    if (options.demo) {
        demo = std::make_unique<SimulatedReceiver>(ReceiverSimulator::Config::withBands(4));
        if (!demo->start()) {
            std::fprintf(stderr, "kinetra: cannot start the simulated receiver\n");
            return false;
        }
        runtimeOptions.portSearch = demo->portSearch();
        qCInfo(lcMain) << "demo receiver on" << demo->portPath();
    }
    if (!options.recordPath.isEmpty()) {
        if (!recorder.start(options.recordPath)) {
            std::fprintf(stderr, "kinetra: cannot record to %s: %s\n",
                         qPrintable(options.recordPath), qPrintable(recorder.errorString()));
            return false;
        }
        runtimeOptions.rawTap = recorder.tap();
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    // Options that need no display are answered before the application
    // object exists.
    const CommandLineOptions options = CommandLineOptions::parse(argumentsOf(argc, argv));
    switch (options.action) {
    case CommandLineOptions::Action::ShowHelp:
        std::fputs(qPrintable(CommandLineOptions::helpText(QStringLiteral("kinetra"))), stdout);
        return 0;
    case CommandLineOptions::Action::ShowVersion:
        std::fputs(qPrintable(CommandLineOptions::versionText()), stdout);
        return 0;
    case CommandLineOptions::Action::ProbeRenderer: {
        QCoreApplication::setAttribute(Qt::AA_UseDesktopOpenGL);
        QGuiApplication probeApp(argc, argv);
        std::fputs(qPrintable(MultisampleChoice::probeRenderer() + QLatin1Char('\n')), stdout);
        return 0;
    }
    case CommandLineOptions::Action::Fail:
        std::fprintf(stderr, "kinetra: %s\nTry 'kinetra --help'.\n", qPrintable(options.error));
        return 2;
    case CommandLineOptions::Action::Run:
        break;
    }

    QCoreApplication::setApplicationName(QStringLiteral("Kinetra"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KINETRA_VERSION));
    QCoreApplication::setOrganizationName(QStringLiteral("Vantor Corp"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("kinetra.example.org"));
    // Without a window: no display, no OpenGL, no QML documents.
    if (options.headless) {
        std::unique_ptr<SimulatedReceiver> demo;
        PerformanceRecorder recorder;
        return HeadlessRunner(options).run(
            argc, argv,
            [&](AppRuntime::Options& o) { return setUpLink(options, demo, recorder, o); },
            [&] {
                recorder.stop();
                demo.reset();
            });
    }
    // The name of the installed launcher, through which desktops (Wayland's
    // app id among them) find the window's icon and name.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.example.kinetra"));
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseDesktopOpenGL);

    auto app = std::make_unique<VApplication>(argc, argv);
    app->installEventFilter(app.get());
    UnixSignalQuitter signalQuitter;

    juce::MessageManager::getInstance();
    JuceMessagePump juicePump;
    juicePump.start();

    applyLook(*app);
    registerQmlTypes();

    // The software scene graph where OpenGL renders on the CPU: it repaints
    // only what changed. Otherwise OpenGL, with multisampling unless that
    // too would run on the CPU (both asked before the first window exists).
    // The renderer is asked in a child process: OpenGL, once loaded for the
    // question, would stay in memory (tens of MiB with Mesa's LLVM) even
    // when the window does not use it.
    const SceneGraphChoice::Decision sceneGraph = SceneGraphChoice::forThisMachine([] {
        QProcess probe;
        probe.setProcessChannelMode(QProcess::SeparateChannels);
        probe.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--probe-renderer")});
        if (!probe.waitForFinished(10000)) {
            probe.kill();
            probe.waitForFinished(1000);
            return QString();
        }
        return QString::fromLocal8Bit(probe.readAllStandardOutput()).trimmed();
    });
    if (!sceneGraph.ignoredOverride.isEmpty())
        qCWarning(lcMain).noquote() << sceneGraph.ignoredOverride;
    if (!sceneGraph.reason.isEmpty())
        qCInfo(lcMain).noquote() << sceneGraph.reason;
    if (sceneGraph.software)
        QQuickWindow::setSceneGraphBackend(QSGRendererInterface::Software);
    auto format = std::make_unique<QSurfaceFormat>(QSurfaceFormat::defaultFormat());
    format->setSamples(sceneGraph.software ? 0 : MultisampleChoice::samplesFor(8));
    format->setSwapInterval(1);
    QSurfaceFormat::setDefaultFormat(*format);

    const QUrl mainDocument =
        options.mainDocument.isEmpty()
            ? kBuiltInMainDocument
            : QUrl::fromUserInput(options.mainDocument, QDir::currentPath(), QUrl::AssumeLocalFile);
    auto qml = std::make_unique<QQmlApplicationEngine>();
    QList<QQmlError> documentErrors;
    QObject::connect(qml.get(), &QQmlApplicationEngine::warnings,
                     [&](const QList<QQmlError>& warnings) { documentErrors << warnings; });
    QObject::connect(
        qml.get(), &QQmlApplicationEngine::objectCreated, app.get(),
        [&](QObject* object, const QUrl& url) {
            if (object || url != mainDocument)
                return;
            std::fprintf(stderr, "kinetra: cannot load the main window document %s\n",
                         qPrintable(url.toString()));
            for (const QQmlError& e : qAsConst(documentErrors))
                std::fprintf(stderr, "  %s\n", qPrintable(e.toString()));
            QCoreApplication::exit(-1);
        },
        Qt::QueuedConnection);

    std::unique_ptr<SimulatedReceiver> demo;
    PerformanceRecorder recorder;
    AppRuntime::Options runtimeOptions;
    runtimeOptions.port = options.port;
    if (options.midiService == CommandLineOptions::MidiService::None)
        runtimeOptions.midiBackend = std::make_shared<CountingMidiBackend>();
    if (!setUpLink(options, demo, recorder, runtimeOptions))
        return 1;

    // Outlives the runtime, whose MIDI handler writes to its log.
    MidiMonitor midiMonitor;
    auto runtime = std::make_unique<AppRuntime>(app.get(), runtimeOptions);
    runtime->createSharedObjects();
    runtime->loadPersistentState();
    runtime->exposeTo(qml->rootContext());
    runtime->connectSignals();
    // JUCE goes after the holders it owns objects for are emptied.
    runtime->setLibraryShutdown([&juicePump] {
        juicePump.stop();
        ActionHandler::shutDownAudioLibrary();
    });
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    runtime->startAudio();
    runtime->exposeTransportTo(qml->rootContext());
    if (MidiHandler* midi = runtime->midiHandler())
        midi->setSentLog(midiMonitor.log());
    qml->rootContext()->setContextProperty(QStringLiteral("midiMonitor"), &midiMonitor);
    // The window shows that a recording runs, and where it goes.
    qml->rootContext()->setContextProperty(QStringLiteral("kinetraRecordingTo"),
                                           options.recordPath);

    qml->load(mainDocument);
    // The window actions (show, hide, keep on top, cursor) act on the main
    // window, not on whichever top-level window happens to come first.
    if (!qml->rootObjects().isEmpty())
        if (auto* window = qobject_cast<QWindow*>(qml->rootObjects().constFirst())) {
            runtime->actionHandler()->setWindow(window);
            RenderPriority::lowerWhenSoftware(qobject_cast<QQuickWindow*>(window));
        }
    if (!options.screenshotPath.isEmpty()) {
        QTimer::singleShot(options.screenshotDelayMs, qml.get(), [&qml, &options] {
            const auto roots = qml->rootObjects();
            auto* window = roots.isEmpty() ? nullptr : qobject_cast<QQuickWindow*>(roots.first());
            const bool saved = window && window->grabWindow().save(options.screenshotPath);
            std::fprintf(stderr,
                         saved ? "kinetra: screenshot saved to %s\n"
                               : "kinetra: could not save a screenshot to %s\n",
                         qPrintable(options.screenshotPath));
        });
    }
    const int code = QCoreApplication::exec();

    AccessibilityTeardown::silence();
    qml.reset();
    runtime.reset();
    recorder.stop();
    demo.reset();
    format.reset();
    app.reset();
    return code;
}
