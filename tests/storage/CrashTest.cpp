// SPDX-License-Identifier: GPL-3.0-or-later
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <cstdlib>

// A process that saves in a loop is killed with SIGKILL at random moments,
// a few hundred times. Whatever is left behind must parse and hold a whole
// document, and the next start must read it without declaring anything
// damaged.

namespace {

const QStringList kWheelKeys{"axis",        "ccOrNote",   "channel", "defaultValue", "deviceID",
                             "eventNum",    "id",         "index",   "isEnabled",    "isGated",
                             "isReversed",  "lowerbound", "max",     "min",          "name",
                             "sensitivity", "toHardware", "type",    "upperbound"};
const QStringList kDeviceKeys{"index",    "init_pos_p", "init_pos_r", "init_pos_y", "isMuted",
                              "isOnLeft", "isSoloed",   "name",       "yGate"};
const QStringList kSettingsKeys{"currentPatch",    "hiResMidi",      "ignored_inputs",
                                "ignored_outputs", "sendingClock",   "syncingToClock",
                                "tempo",           "virtualKeyboard"};

QJsonDocument parse(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = "cannot open";
        return QJsonDocument();
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (parseError.error != QJsonParseError::NoError)
        *error = parseError.errorString();
    return document;
}

// Empty text when the patch is whole, else what is wrong with it.
QString checkPatch(const QJsonDocument& document)
{
    const QJsonObject patch = document.object();
    if (!document.isObject() || !patch.contains("arp_on") || !patch.contains("acc_on"))
        return "flags missing";
    const QJsonArray wheels = patch.value("wheels").toArray();
    if (wheels.size() != 12)
        return QString("%1 wheels").arg(wheels.size());
    for (const QJsonValue& wheel : wheels) {
        if (wheel.toObject().keys() != kWheelKeys)
            return "incomplete wheel";
        const QString name = wheel.toObject().value("name").toString();
        if (name != QString(name.size(), name.isEmpty() ? QChar() : name[0]))
            return "mixed wheel name";
    }
    return QString();
}

QString checkFile(const QString& path, const QString& root)
{
    QString error;
    const QJsonDocument document = parse(path, &error);
    if (!error.isEmpty())
        return error;
    if (path == root + "/settings.json")
        return document.object().keys() == kSettingsKeys ? QString() : "incomplete settings";
    if (path == root + "/devices.json") {
        const QJsonObject registry = document.object();
        if (registry.keys() != QStringList({"1", "2", "3", "4"}))
            return "incomplete registry";
        for (const QJsonValue& device : registry)
            if (device.toObject().keys() != kDeviceKeys)
                return "incomplete device";
        return QString();
    }
    if (path == root + "/presets/.presets.json") {
        const QJsonArray index = document.array();
        if (!document.isArray() || index.size() != 16)
            return "index without 16 entries";
        for (const QJsonValue& entry : index) {
            const QString filename = entry.toObject().value("filename").toString();
            if (!filename.isEmpty() && !QFile::exists(filename))
                return "index names a missing file " + filename;
        }
        return QString();
    }
    return checkPatch(document);
}

} // namespace

TEST(StorageCrashTest, KilledSavesLeaveOnlyWholeFiles)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString root = tmp.path() + "/Vantor/Kinetra";
    const int rounds =
        std::getenv("KINETRA_CRASH_ROUNDS") ? std::atoi(std::getenv("KINETRA_CRASH_ROUNDS")) : 300;
    QRandomGenerator random(20261207);

    for (int round = 0; round < rounds; ++round) {
        QProcess writer;
        writer.setProcessChannelMode(QProcess::SeparateChannels);
        writer.start(KINETRA_CRASH_WRITER, {root});
        ASSERT_TRUE(writer.waitForStarted(30000));
        // Wait for the first round of saves, then let it run a random while.
        while (!writer.canReadLine()) {
            ASSERT_TRUE(writer.waitForReadyRead(60000))
                << "writer did not get ready: " << writer.readAllStandardError().toStdString();
        }
        QThread::usleep(random.bounded(40000));
        writer.kill();
        ASSERT_TRUE(writer.waitForFinished(30000));
        ASSERT_EQ(writer.exitStatus(), QProcess::CrashExit);

        QDirIterator files(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QString path = files.next();
            if (path.endsWith(".corrupt") || path.contains(".corrupt."))
                FAIL() << "the writer found a damaged file: " << path.toStdString();
            if (!path.endsWith(".json"))
                continue; // a temporary left by the kill is never read
            const QString problem = checkFile(path, root);
            ASSERT_TRUE(problem.isEmpty()) << path.toStdString() << ": " << problem.toStdString()
                                           << " (round " << round << ")";
        }
    }
    // Every kill lands after the first round of saves, inside the save loop,
    // where nearly all the time goes to writing files.
    RecordProperty("rounds", rounds);
}
