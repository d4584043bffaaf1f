// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick 2.14
import QtQuick.Controls 2.5

// Dark drop-down list used in the preferences window.
ComboBox {
    id: control

    implicitHeight: 26
    opacity: enabled ? 1 : 0.4
    ToolTip.delay: 1000
    ToolTip.visible: hovered && ToolTip.text.length > 0
    hoverEnabled: true
    Accessible.description: ToolTip.text

    delegate: ItemDelegate {
        width: control.width
        highlighted: control.highlightedIndex === index
        contentItem: Text {
            text: modelData
            color: "#f0f0f0"
            font: control.font
            elide: Text.ElideRight
            verticalAlignment: Text.AlignVCenter
        }
        background: Rectangle {
            color: highlighted ? "#ffa500" : "#242424"
            opacity: highlighted ? 0.6 : 1
        }
    }

    indicator: Canvas {
        id: arrow
        x: control.width - width - 8
        y: (control.height - height) / 2
        width: 10
        height: 6
        contextType: "2d"
        onPaint: {
            var ctx = getContext("2d");
            ctx.reset();
            ctx.moveTo(0, 0);
            ctx.lineTo(width, 0);
            ctx.lineTo(width / 2, height);
            ctx.closePath();
            ctx.fillStyle = "#c0c0c0";
            ctx.fill();
        }
    }

    contentItem: Text {
        leftPadding: 8
        rightPadding: arrow.width + 16
        text: control.displayText
        font: control.font
        color: "#f0f0f0"
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideRight
    }

    background: Rectangle {
        implicitWidth: 200
        implicitHeight: 26
        radius: 3
        color: control.pressed ? "#1a1a1a" : "#1f1f1f"
        border.width: 1
        border.color: control.activeFocus ? "#ffa500" : "#3f3f3f"
    }

    popup: Popup {
        y: control.height
        width: control.width
        implicitHeight: Math.min(contentItem.implicitHeight + 2, 240)
        padding: 1
        contentItem: ListView {
            clip: true
            implicitHeight: contentHeight
            model: control.popup.visible ? control.delegateModel : null
            currentIndex: control.highlightedIndex
            ScrollIndicator.vertical: ScrollIndicator {}
        }
        background: Rectangle {
            color: "#242424"
            border.color: "#3f3f3f"
            radius: 2
        }
    }
}
