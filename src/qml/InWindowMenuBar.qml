// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick 2.14
import QtQuick.Controls 2.5
import QtQml.Models 2.12

// The menus of MainMenu.qml drawn inside the window, for desktops without a
// native menu bar. Same items, same shortcuts, same actions.
MenuBar {
    id: bar
    objectName: "inWindowMenuBar"

    property alias presetMenu: presetMenu

    // Opens the menu at `index` as a click on its title does.
    function openMenu(index) {
        var item = bar.itemAt(index);
        if (item)
            item.triggered();
    }

    // F10 opens the first menu, Alt and a title's first letter that menu.
    Shortcut {
        sequence: "F10"
        onActivated: bar.openMenu(0)
    }
    Repeater {
        model: ["Alt+F", "Alt+C", "Alt+P", "Alt+W", "Alt+H"]
        delegate: Item {
            Shortcut {
                sequence: modelData
                onActivated: bar.openMenu(index)
            }
        }
    }

    delegate: MenuBarItem {
        id: barItem
        contentItem: Text {
            text: barItem.text
            font: barItem.font
            color: "#e8e8e8"
            horizontalAlignment: Text.AlignHCenter
            verticalAlignment: Text.AlignVCenter
        }
        background: Rectangle {
            implicitHeight: 24
            color: barItem.highlighted ? "#3a3a3a" : "transparent"
        }
    }

    background: Rectangle {
        implicitHeight: 24
        color: "#262626"
        Rectangle {
            anchors.bottom: parent.bottom
            width: parent.width
            height: 1
            color: "#151515"
        }
    }

    Menu {
        objectName: "inWindowFileMenu"
        title: qsTr("File")

        MenuEntry {
            action: Action {
                text: qsTr("New")
                shortcut: StandardKey.New
                onTriggered: actionHandler.newPatch()
            }
        }
        MenuSeparator {}
        MenuEntry {
            action: Action {
                text: qsTr("Open...")
                shortcut: StandardKey.Open
                onTriggered: actionHandler.openPatch()
            }
        }
        MenuSeparator {}
        MenuEntry {
            action: Action {
                text: qsTr("Save")
                shortcut: StandardKey.Save
                onTriggered: actionHandler.savePatch()
            }
        }
        MenuEntry {
            action: Action {
                text: qsTr("Save as...")
                shortcut: StandardKey.SaveAs
                onTriggered: actionHandler.savePatchAs()
            }
        }
        MenuEntry {
            action: Action {
                text: qsTr("About Kinetra")
                onTriggered: mainWindow.showAboutWindow()
            }
        }
        MenuEntry {
            action: Action {
                text: qsTr("Preferences...")
                // The desktop's own key for preferences may be none.
                shortcut: "Ctrl+,"
                onTriggered: mainWindow.showPreferences()
            }
        }
        MenuSeparator {}
        MenuEntry {
            action: Action {
                text: qsTr("Quit")
                shortcut: StandardKey.Quit
                onTriggered: Qt.quit()
            }
        }
    }

    Menu {
        objectName: "inWindowControlMenu"
        title: qsTr("Control")

        MenuEntry {
            action: Action {
                text: qsTr("Connect")
                onTriggered: actionHandler.connect()
            }
        }
        MenuEntry {
            action: Action {
                text: qsTr("Disconnect")
                onTriggered: actionHandler.disconnect()
            }
        }
        MenuSeparator {}
        MenuEntry {
            action: Action {
                text: qsTr("Mapping Mode")
                checkable: true
                checked: stateManager.isInMappingMode
                shortcut: "Ctrl+M"
                onTriggered: actionHandler.toggleMappingMode(checked)
            }
        }
        MenuSeparator {}
        MenuEntry {
            action: Action {
                text: qsTr("Play/Stop")
                onTriggered: mainWindow.togglePlay()
            }
        }
        MenuEntry {
            action: Action {
                text: qsTr("Live mode")
                checkable: true
                checked: !!stateManager.isLiveMode
                onTriggered: {
                    if (checked)
                        actionHandler.enterLiveMode();
                    else
                        actionHandler.quitLiveMode();
                }
            }
        }
        MenuEntry {
            action: Action {
                text: qsTr("Arpeggiator")
                checkable: true
                checked: stateManager.isArpOn
                onTriggered: stateManager.isArpOn = checked
            }
        }
        Menu {
            id: keyboardMenu
            objectName: "inWindowKeyboardMenu"
            title: qsTr("Keyboard")

            // The virtual keyboard's own keys do these; the entries show the values.
            readonly property bool known: typeof virtualKeyboard !== "undefined" && virtualKeyboard && virtualKeyboard.octave !== undefined

            function press(code) {
                virtualKeyboard.keyPressed(code);
                virtualKeyboard.keyReleased(code);
            }

            MenuEntry {
                shortcutHint: "Z / X"
                action: Action {
                    text: keyboardMenu.known ? qsTr("Octave down (now %1)").arg(virtualKeyboard.octave) : qsTr("Octave down")
                    onTriggered: keyboardMenu.press(Qt.Key_Z)
                }
            }
            MenuEntry {
                action: Action {
                    text: qsTr("Octave up")
                    onTriggered: keyboardMenu.press(Qt.Key_X)
                }
            }
            MenuEntry {
                shortcutHint: "1 / 2"
                action: Action {
                    text: keyboardMenu.known ? qsTr("Transpose down (now %1)").arg(virtualKeyboard.transpose) : qsTr("Transpose down")
                    onTriggered: keyboardMenu.press(Qt.Key_1)
                }
            }
            MenuEntry {
                action: Action {
                    text: qsTr("Transpose up")
                    onTriggered: keyboardMenu.press(Qt.Key_2)
                }
            }
            MenuEntry {
                shortcutHint: "C / V"
                action: Action {
                    text: keyboardMenu.known ? qsTr("Velocity down (now %1)").arg(virtualKeyboard.velocity) : qsTr("Velocity down")
                    onTriggered: keyboardMenu.press(Qt.Key_C)
                }
            }
            MenuEntry {
                action: Action {
                    text: qsTr("Velocity up")
                    onTriggered: keyboardMenu.press(Qt.Key_V)
                }
            }
        }
    }

    Menu {
        id: presetMenu
        objectName: "inWindowPresetMenu"
        title: qsTr("Presets")

        function refresh() {
            for (var i = 0; i < presetItems.count; ++i) {
                var item = presetItems.objectAt(i);
                if (!item)
                    continue;
                item.action.text = mainWindow.presetMenuText(i);
                item.action.enabled = !mainWindow.presetSlotEmpty(i);
            }
        }

        onAboutToShow: refresh()

        Instantiator {
            id: presetItems
            model: 16
            delegate: MenuEntry {
                action: Action {
                    text: mainWindow.presetMenuText(index)
                    enabled: !mainWindow.presetSlotEmpty(index)
                    shortcut: index < 8 ? "Ctrl+" + (index + 1) : ""
                    onTriggered: fileManager.loadPatchAtSlot(index)
                }
            }
            onObjectAdded: presetMenu.insertItem(index, object)
            onObjectRemoved: presetMenu.removeItem(object)
        }
    }

    Menu {
        objectName: "inWindowWindowMenu"
        title: qsTr("Window")

        MenuEntry {
            action: Action {
                text: qsTr("Always on top")
                checkable: true
                checked: stateManager.isWindowOnTop
                shortcut: "Ctrl+Alt+F"
                onTriggered: actionHandler.toggleFloatingWindowMode(checked)
            }
        }
        MenuEntry {
            objectName: "hideEntry"
            visible: mainWindow.canHide
            height: visible ? implicitHeight : 0
            action: Action {
                text: qsTr("Hide")
                enabled: mainWindow.canHide
                shortcut: StandardKey.Close
                onTriggered: actionHandler.closeWindow()
            }
        }
        MenuSeparator {}
        MenuEntry {
            action: Action {
                text: qsTr("Show presets")
                checkable: true
                checked: stateManager.isPresetBayShown
                shortcut: "Ctrl+Shift+P"
                onTriggered: {
                    if (checked)
                        actionHandler.showPresetBay();
                    else
                        actionHandler.hidePresetBay();
                }
            }
        }
        MenuEntry {
            action: Action {
                text: qsTr("MIDI monitor")
                shortcut: "Ctrl+Shift+M"
                onTriggered: mainWindow.showMidiMonitor()
            }
        }
        MenuSeparator {}
        MenuEntry {
            // F6 belongs to the window (it also works without this menu).
            shortcutHint: "F6"
            action: Action {
                text: qsTr("Focus the controls")
                onTriggered: mainWindow.focusControls()
            }
        }
    }

    Menu {
        objectName: "inWindowHelpMenu"
        title: qsTr("Help")

        MenuEntry {
            action: Action {
                text: qsTr("Tutorials")
                onTriggered: actionHandler.openTutorials()
            }
        }
        MenuEntry {
            action: Action {
                text: qsTr("Contact us")
                onTriggered: actionHandler.openContactForm()
            }
        }
        MenuSeparator {}
        MenuEntry {
            action: Action {
                text: qsTr("Accessibility Mode")
                checkable: true
                checked: stateManager.isAccessibilityModeOn
                shortcut: "Ctrl+Shift+A"
                onTriggered: actionHandler.toggleAccessibility(checked)
            }
        }
    }

    Connections {
        target: typeof fileManager !== "undefined" ? fileManager : null
        ignoreUnknownSignals: true
        function onPatchSlotChanged() {
            presetMenu.refresh();
        }
    }
}
