// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick 2.14
import QtQuick.Window 2.14

// "About Kinetra": logo, version and licence notice.
Window {
    id: aboutWindow

    title: qsTr("About Kinetra")
    width: 400
    height: 250
    minimumWidth: width
    maximumWidth: width
    minimumHeight: height
    maximumHeight: height
    modality: Qt.WindowModal
    color: "#2f2f2f"
    visible: false

    Shortcut {
        sequence: "Escape"
        onActivated: aboutWindow.close()
    }

    Column {
        anchors.centerIn: parent
        spacing: 12

        Image {
            anchors.horizontalCenter: parent.horizontalCenter
            width: 80
            height: 80
            source: "icons/trayIconOn.png"
            sourceSize: Qt.size(160, 160)
            smooth: true
            Accessible.ignored: true
        }
        Text {
            objectName: "aboutVersion"
            anchors.horizontalCenter: parent.horizontalCenter
            text: "Kinetra v" + actionHandler.getAppVersion()
            color: "#f0f0f0"
            font.bold: true
            font.pixelSize: 14
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }
        Text {
            anchors.horizontalCenter: parent.horizontalCenter
            text: qsTr("© 2026 Vantor Corp. Free software under the GNU GPL, version 3 or later.")
            color: "#f0f0f0"
            font.pixelSize: 10
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }
        Item {
            width: 1
            height: 3
        }
        VButton {
            objectName: "aboutOkButton"
            anchors.horizontalCenter: parent.horizontalCenter
            text: qsTr("Ok")
            onClicked: aboutWindow.close()
        }
    }
}
