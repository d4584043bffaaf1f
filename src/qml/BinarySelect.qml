// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick 2.14

// Two-position selector (left/right hand): a switch without the orange fill.
VSwitch {
    switchColor: "#909090"
    showFill: false
}
