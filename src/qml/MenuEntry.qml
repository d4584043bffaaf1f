// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick 2.14
import QtQuick.Controls 2.5

// An entry of the in-window menus: its text, and on the right its shortcut
// spelt the way the desktop spells it.
MenuItem {
    id: entry

    // Shortcut text for an entry whose key another object owns.
    property string shortcutHint: ""

    // What a click does, for a screen reader's press: the action runs (a
    // checkable one changes its check mark first) and the menu closes.
    function activate() {
        if (!entry.enabled)
            return;
        if (entry.action) {
            entry.action.trigger(entry);
        } else {
            if (entry.checkable)
                entry.toggle();
            entry.clicked();
        }
    }

    Accessible.onPressAction: activate()

    implicitWidth: Math.max(200, entryText.implicitWidth + entryText.anchors.leftMargin + shortcutText.implicitWidth + leftPadding + rightPadding + 32)

    Shortcut {
        id: shortcutProbe
        // Never triggers: the action owns the shortcut; this only names it.
        enabled: false
        sequence: (entry.action && entry.action.shortcut !== undefined) ? entry.action.shortcut : ""
    }

    contentItem: Item {
        implicitHeight: entryText.implicitHeight

        Text {
            id: entryText
            anchors.left: parent.left
            // Room for the check mark of a checkable entry.
            anchors.leftMargin: (entry.checkable && entry.indicator) ? entry.indicator.width + entry.spacing : 0
            anchors.verticalCenter: parent.verticalCenter
            text: entry.text
            font: entry.font
            color: entry.enabled ? "#f0f0f0" : "#7f7f7f"
        }
        Text {
            id: shortcutText
            objectName: "shortcutText"
            anchors.right: parent.right
            anchors.verticalCenter: parent.verticalCenter
            text: entry.shortcutHint.length > 0 ? entry.shortcutHint : shortcutProbe.nativeText
            font.pixelSize: 10
            color: entry.enabled ? "#b0b0b0" : "#6a6a6a"
        }
    }
}
