// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick 2.15
import QtQuick.Window 2.15

Window {
    visible: true
    width: 100
    this is not QML
}
