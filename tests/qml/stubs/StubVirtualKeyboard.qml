// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick 2.14

// Stand-in for the virtual keyboard: records key presses and releases.
CallLog {
    function reset() {
        clearCalls();
    }
    function keyPressed(code) {
        record("keyPressed", [code]);
    }
    function keyReleased(code) {
        record("keyReleased", [code]);
    }
    function allNoteOff() {
        record("allNoteOff");
    }
}
