import QtQuick 2.14
import QtQuick.Controls 2.5

// Square radio button: an orange fill marks the chosen entry.
RadioButton {
    id: control

    height: 16
    implicitHeight: 16
    padding: 0
    spacing: 6
    opacity: enabled ? 1 : 0.5

    indicator: Rectangle {
        implicitWidth: 16
        implicitHeight: 16
        x: control.leftPadding
        y: (control.height - height) / 2
        radius: 2
        color: "#1f1f1f"

        Rectangle {
            anchors.fill: parent
            anchors.margins: 2
            radius: 2
            color: "#ffa500"
            visible: control.checked
        }
    }

    contentItem: Text {
        text: control.text
        font: control.font
        color: "#f0f0f0"
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideRight
        leftPadding: control.indicator.width + control.spacing
    }
}
