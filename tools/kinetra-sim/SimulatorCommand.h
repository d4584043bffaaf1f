// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "GestureGenerator.h"

#include <QString>

// One line typed on the simulator's standard input, parsed. Bands are
// numbered from 1 on the command line (the order of the device list) and
// from 0 here; -1 means every band.
//
//   bypass on [band]      band event: bypass on (default band 1)
//   bypass off [band]     band event: bypass off
//   mapping [band]        band event: mapping request
//   gesture NAME [band]   switch the gesture of one band or, without a
//                         band, of every band
//   unplug                close the terminal, as if the receiver was pulled
//   plug                  open a terminal again (a new path is printed)
//   replug [ms]           unplug, then plug again after ms (default 1000)
//   replay FILE [loop]    play a recording instead of the gestures
//   live                  back to the gestures
//   status, help, quit
struct SimulatorCommand
{
    enum class Kind
    {
        Invalid,
        Empty,
        Help,
        Status,
        Quit,
        BypassOn,
        BypassOff,
        Mapping,
        Gesture,
        Unplug,
        Plug,
        Replug,
        Replay,
        Live
    };

    Kind kind = Kind::Invalid;
    int band = -1;
    GestureGenerator::Gesture gesture = GestureGenerator::Gesture::Still;
    QString path;
    bool loop = false;
    int delayMs = 1000;
    QString error;

    static SimulatorCommand parse(const QString& line, int bandCount);
    static QString help();
};
