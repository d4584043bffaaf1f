// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick 2.14

// Stand-in for the transport: starts and stops at once.
CallLog {
    property bool isPlaying: false

    signal quaterNoteTick

    function reset() {
        clearCalls();
        isPlaying = false;
    }
    function startPlay() {
        record("startPlay");
        isPlaying = true;
    }
    function stopPlay() {
        record("stopPlay");
        isPlaying = false;
    }
}
