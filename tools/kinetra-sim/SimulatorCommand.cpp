// SPDX-License-Identifier: GPL-3.0-or-later
#include "SimulatorCommand.h"

#include <QStringList>

namespace {

SimulatorCommand invalid(const QString& why)
{
    SimulatorCommand c;
    c.kind = SimulatorCommand::Kind::Invalid;
    c.error = why;
    return c;
}

// Reads a band number (1..bandCount) into a 0-based index.
bool parseBand(const QString& word, int bandCount, int* band, QString* error)
{
    bool ok = false;
    const int n = word.toInt(&ok);
    if (!ok || n < 1 || n > bandCount) {
        *error = QStringLiteral("no band %1 (bands are 1 to %2)").arg(word).arg(bandCount);
        return false;
    }
    *band = n - 1;
    return true;
}

} // namespace

QString SimulatorCommand::help()
{
    return QStringLiteral(
               "commands: bypass on [band] | bypass off [band] | mapping [band] | "
               "gesture NAME [band] | unplug | plug | replug [ms] | replay FILE [loop] | live | "
               "status | help | quit; gestures: %1")
        .arg(GestureGenerator::names().join(QStringLiteral(", ")));
}

SimulatorCommand SimulatorCommand::parse(const QString& line, int bandCount)
{
    const QStringList words = line.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    SimulatorCommand c;
    if (words.isEmpty()) {
        c.kind = Kind::Empty;
        return c;
    }
    const QString verb = words[0].toLower();
    const int argc = words.size() - 1;

    // Commands that address one band, band 1 when none is given.
    const auto withBand = [&](Kind kind, int first) {
        SimulatorCommand b;
        b.kind = kind;
        b.band = 0;
        if (argc > first)
            return invalid(QStringLiteral("too many words: %1").arg(line.trimmed()));
        if (argc == first && !parseBand(words[first], bandCount, &b.band, &b.error))
            return invalid(b.error);
        return b;
    };

    if (verb == QLatin1String("help") || verb == QLatin1String("?")) {
        c.kind = Kind::Help;
    } else if (verb == QLatin1String("status")) {
        c.kind = Kind::Status;
    } else if (verb == QLatin1String("quit") || verb == QLatin1String("exit")) {
        c.kind = Kind::Quit;
    } else if (verb == QLatin1String("bypass")) {
        if (argc < 1)
            return invalid(QStringLiteral("bypass on or bypass off?"));
        const QString state = words[1].toLower();
        if (state == QLatin1String("on"))
            return withBand(Kind::BypassOn, 2);
        if (state == QLatin1String("off"))
            return withBand(Kind::BypassOff, 2);
        return invalid(QStringLiteral("bypass on or bypass off?"));
    } else if (verb == QLatin1String("mapping")) {
        return withBand(Kind::Mapping, 1);
    } else if (verb == QLatin1String("gesture")) {
        if (argc < 1 || argc > 2)
            return invalid(QStringLiteral("gesture NAME [band]"));
        const auto g = GestureGenerator::fromName(words[1]);
        if (!g)
            return invalid(
                QStringLiteral("no gesture %1 (%2)")
                    .arg(words[1], GestureGenerator::names().join(QStringLiteral(", "))));
        c.kind = Kind::Gesture;
        c.gesture = *g;
        c.band = -1;
        if (argc == 2 && !parseBand(words[2], bandCount, &c.band, &c.error))
            return invalid(c.error);
    } else if (verb == QLatin1String("unplug")) {
        c.kind = Kind::Unplug;
    } else if (verb == QLatin1String("plug")) {
        c.kind = Kind::Plug;
    } else if (verb == QLatin1String("replug")) {
        c.kind = Kind::Replug;
        if (argc >= 1) {
            bool ok = false;
            c.delayMs = words[1].toInt(&ok);
            if (!ok || c.delayMs < 0 || c.delayMs > 600000)
                return invalid(QStringLiteral("replug [ms], ms from 0 to 600000"));
        }
    } else if (verb == QLatin1String("replay")) {
        if (argc < 1)
            return invalid(QStringLiteral("replay FILE [loop]"));
        // The file name may contain spaces; a last word "loop" is the flag.
        QStringList rest = line.trimmed().mid(words[0].size()).trimmed().split(QLatin1Char(' '));
        if (rest.size() > 1 && rest.last().toLower() == QLatin1String("loop")) {
            c.loop = true;
            rest.removeLast();
        }
        c.kind = Kind::Replay;
        c.path = rest.join(QLatin1Char(' ')).trimmed();
        if (c.path.isEmpty())
            return invalid(QStringLiteral("replay FILE [loop]"));
    } else if (verb == QLatin1String("live")) {
        c.kind = Kind::Live;
    } else {
        return invalid(QStringLiteral("unknown command %1; try help").arg(words[0]));
    }
    return c;
}
