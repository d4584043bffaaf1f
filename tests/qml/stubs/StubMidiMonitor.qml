// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick 2.14

// Stand-in for the MIDI monitor: lines to show and whether a window reads
// them.
QtObject {
    property var lines: []
    property bool watched: false
}
