// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick 2.14

// Stand-in for the native live-data graph.
Item {
    property int sourceType: 0
    signal alphaChanged
}
