// SPDX-License-Identifier: GPL-3.0-or-later
// Helper process for the crash test: loads whatever the storage root holds
// (as start-up does), then saves every kind of file in a loop, with
// documents whose size changes from one save to the next, until it is
// killed. Prints "ready" once the first round of saves is done.

#include "app/StateManager.h"
#include "engine/ContinuousControlSource.h"
#include "engine/MotionControlEngine.h"
#include "link/Orvik.h"
#include "storage/FileManager.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: storage_crash_writer <root>\n");
        return 2;
    }
    StateManager state;
    MotionControlEngine engine(state);
    FileManager files(StoragePaths(QString::fromLocal8Bit(argv[1])), engine, nullptr, state);

    // Start-up: every file left by the previous (killed) run must load.
    files.loadDeviceRegistry();
    files.loadSettings();
    files.restorePatchAtStartup();

    for (uint64_t id = 1; id <= 4; ++id)
        if (!engine.isDeviceExist(id))
            engine.addNewDevice(id);
    for (int i = 0; i < engine.getNumOfCSources(); ++i)
        engine.addNewCSourceAt(i, false);

    const QString root = files.paths().root();
    for (qint64 round = 0;; ++round) {
        // Sizes swing between a few hundred bytes and a few hundred kilobytes.
        const int width = int((round * 7919) % 23) * 1000;
        for (int i = 0; i < engine.getNumOfCSources(); ++i)
            engine.getCSourceAt(i)->setName(QString(width, QChar('a' + i)));
        for (int position = 0; position < engine.getNumOfDevice(); ++position)
            engine.getDeviceAt(position)->setName(QString(width / 4, QChar('k')));
        state.setVirtualKeyboardState(round % 2 == 0);

        files.setClock([round] { return qint64(1000000 + round); });
        files.saveDeviceRegistry();
        files.setCurrentPatchPath(QString());
        files.saveCurrentPatchOrBackup(); // a backup
        files.saveCurrentPatchToPath(root + "/patch.json", false);
        files.saveCurrentPatchToSlot(int(round % 16), QString(width / 100, QChar('t')));
        files.saveSettings();
        if (round == 0) {
            std::printf("ready\n");
            std::fflush(stdout);
        }
    }
}
