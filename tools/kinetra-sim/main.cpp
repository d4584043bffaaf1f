// SPDX-License-Identifier: GPL-3.0-or-later
// kinetra-sim: plays the receiver and its bands on a pseudo-terminal, for
// working on Kinetra without the hardware. Prints the terminal's path as
// "port PATH", then one line per event; reads commands on its standard
// input (type "help").

#include "ReceiverSimulator.h"
#include "SimulatorCommand.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
}

void printLine(const QString& line)
{
    const QByteArray text = line.toLocal8Bit();
    std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

bool parseIdentity(const QString& text, uint64_t* out)
{
    bool ok = false;
    const QString t = text.trimmed();
    const qulonglong v = t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)
                             ? t.mid(2).toULongLong(&ok, 16)
                             : t.toULongLong(&ok, 10);
    *out = v;
    return ok;
}

// Reads whole lines from standard input without blocking the event loop.
class StdinReader : public QObject
{
public:
    StdinReader(ReceiverSimulator* simulator, QObject* parent)
        : QObject(parent), m_simulator(simulator),
          m_notifier(STDIN_FILENO, QSocketNotifier::Read, this)
    {
        connect(&m_notifier, &QSocketNotifier::activated, this, [this] { readSome(); });
    }

private:
    void readSome()
    {
        char buffer[1024];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            // End of input: keep simulating until a signal ends the program.
            m_notifier.setEnabled(false);
            return;
        }
        m_pending.append(buffer, int(n));
        int end;
        while ((end = m_pending.indexOf('\n')) >= 0) {
            const QString line = QString::fromLocal8Bit(m_pending.left(end));
            m_pending.remove(0, end + 1);
            m_simulator->execute(line);
        }
        if (m_pending.size() > 4096)
            m_pending.clear();
    }

    ReceiverSimulator* m_simulator;
    QSocketNotifier m_notifier;
    QByteArray m_pending;
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kinetra-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Plays the receiver and up to four bands on a pseudo-terminal.\n") +
        SimulatorCommand::help());
    parser.addHelpOption();
    const QCommandLineOption bandsOption(QStringLiteral("bands"),
                                         QStringLiteral("Number of bands, 1 to 4 (default 4)."),
                                         QStringLiteral("n"), QStringLiteral("4"));
    const QCommandLineOption bandOption(
        QStringLiteral("band"),
        QStringLiteral("A band's identity (decimal or 0x hex) and slot; repeat for each band. "
                       "Replaces --bands."),
        QStringLiteral("id:slot"));
    const QCommandLineOption rateOption(
        QStringLiteral("rate"),
        QStringLiteral("Motion frames per second per band (default 100; capped at what 230400 "
                       "baud 8N2 carries)."),
        QStringLiteral("fps"), QStringLiteral("100"));
    const QCommandLineOption gestureOption(
        QStringLiteral("gesture"),
        QStringLiteral("Starting gesture: %1 (default mixed).")
            .arg(GestureGenerator::names().join(QStringLiteral(", "))),
        QStringLiteral("name"), QStringLiteral("mixed"));
    const QCommandLineOption linkOption(
        QStringLiteral("link"),
        QStringLiteral("Keep a symbolic link at this path pointing at the current terminal."),
        QStringLiteral("path"));
    const QCommandLineOption replayOption(
        QStringLiteral("replay"), QStringLiteral("Replay this recording instead of gestures."),
        QStringLiteral("file"));
    const QCommandLineOption loopOption(QStringLiteral("loop"),
                                        QStringLiteral("Replay the recording over and over."));
    const QCommandLineOption noiseOption(
        QStringLiteral("noise"),
        QStringLiteral("Jitter every band's orientation by this many degrees (standard "
                       "deviation about each axis), live and replayed."),
        QStringLiteral("degrees"), QStringLiteral("0"));
    parser.addOptions({bandsOption, bandOption, rateOption, gestureOption, linkOption, replayOption,
                       loopOption, noiseOption});
    parser.process(app);

    const auto fail = [](const QString& why) {
        std::fprintf(stderr, "kinetra-sim: %s\n", qPrintable(why));
        return 2;
    };

    ReceiverSimulator::Config config;
    if (parser.isSet(bandOption)) {
        for (const QString& bandText : parser.values(bandOption)) {
            const QStringList parts = bandText.split(QLatin1Char(':'));
            ReceiverSimulator::Band band;
            bool ok = parts.size() <= 2 && parseIdentity(parts[0], &band.uuid);
            int slot = config.bands.size();
            if (ok && parts.size() == 2)
                slot = parts[1].toInt(&ok);
            if (!ok || slot < 0 || slot > 15)
                return fail(
                    QStringLiteral("bad band %1 (expected id:slot, slot 0 to 15)").arg(bandText));
            band.slot = uint8_t(slot);
            config.bands.append(band);
        }
    } else {
        bool ok = false;
        const int count = parser.value(bandsOption).toInt(&ok);
        if (!ok || count < 1 || count > ReceiverSimulator::kMaxBands)
            return fail(QStringLiteral("--bands takes 1 to 4"));
        config = ReceiverSimulator::Config::withBands(count);
    }
    bool rateOk = false;
    config.rate = parser.value(rateOption).toDouble(&rateOk);
    if (!rateOk)
        return fail(QStringLiteral("--rate takes a number of frames per second"));
    const auto gesture = GestureGenerator::fromName(parser.value(gestureOption));
    if (!gesture)
        return fail(QStringLiteral("no gesture %1").arg(parser.value(gestureOption)));
    config.gesture = *gesture;
    config.linkPath = parser.value(linkOption);
    bool noiseOk = false;
    config.noiseDegrees = parser.value(noiseOption).toDouble(&noiseOk);
    if (!noiseOk)
        return fail(QStringLiteral("--noise takes a number of degrees"));
    const QString problem = ReceiverSimulator::validate(config);
    if (!problem.isEmpty())
        return fail(problem);

    ReceiverSimulator simulator(config);
    QObject::connect(&simulator, &ReceiverSimulator::message, &printLine);
    QObject::connect(&simulator, &ReceiverSimulator::quitRequested, &app, &QCoreApplication::quit);
    if (simulator.rate() < config.rate)
        printLine(QStringLiteral("rate capped at %1 frames/s per band by the line speed")
                      .arg(simulator.rate(), 0, 'f', 1));

    if (::pipe(g_signalPipe) == 0) {
        ::fcntl(g_signalPipe[0], F_SETFD, FD_CLOEXEC);
        ::fcntl(g_signalPipe[1], F_SETFD, FD_CLOEXEC);
        auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
        std::signal(SIGINT, onSignal);
        std::signal(SIGTERM, onSignal);
        std::signal(SIGHUP, onSignal);
    }
    std::signal(SIGPIPE, SIG_IGN);

    if (parser.isSet(replayOption) &&
        !simulator.startReplay(parser.value(replayOption), parser.isSet(loopOption)))
        return 1;
    if (!simulator.plug())
        return 1;
    StdinReader input(&simulator, &app);
    return app.exec();
}
