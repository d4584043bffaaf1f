// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick 2.14
import QtQuick.Window 2.14
import Qt.labs.platform 1.1 as Platform
import QtQml.Models 2.12

// The platform menu bar (File, Control, Presets, Window, Help) and the about
// window. Where the desktop has no native menu bar, main.qml shows the same
// menus inside the window (InWindowMenuBar.qml).
Item {
    id: mainMenu

    // The about window, once it has been opened (see LazyWindow).
    readonly property alias aboutWindow: aboutWindowLoader.item
    property alias aboutWindowLoader: aboutWindowLoader
    property alias presetMenu: presetMenu
    property alias menuBar: menuBar
    // Only the menu bar the user sees owns the shortcuts: without a native
    // menu bar the in-window menus own them, and two owners of one key make
    // Qt alternate between them.
    readonly property bool ownsShortcuts: mainWindow.hasNativeMenuBar

    function key(sequence) {
        return ownsShortcuts ? sequence : "";
    }

    Platform.MenuBar {
        id: menuBar
        window: mainWindow

        Platform.Menu {
            title: qsTr("File")

            Platform.MenuItem {
                text: qsTr("New")
                shortcut: mainMenu.key(StandardKey.New)
                onTriggered: actionHandler.newPatch()
            }
            Platform.MenuSeparator {}
            Platform.MenuItem {
                text: qsTr("Open...")
                shortcut: mainMenu.key(StandardKey.Open)
                onTriggered: actionHandler.openPatch()
            }
            Platform.MenuSeparator {}
            Platform.MenuItem {
                text: qsTr("Save")
                shortcut: mainMenu.key(StandardKey.Save)
                onTriggered: actionHandler.savePatch()
            }
            Platform.MenuItem {
                text: qsTr("Save as...")
                shortcut: mainMenu.key(StandardKey.SaveAs)
                onTriggered: actionHandler.savePatchAs()
            }
            Platform.MenuItem {
                text: qsTr("About Kinetra")
                role: Platform.MenuItem.AboutRole
                onTriggered: mainWindow.showAboutWindow()
            }
            Platform.MenuItem {
                text: qsTr("Preferences...")
                shortcut: mainMenu.key(StandardKey.Preferences)
                role: Platform.MenuItem.PreferencesRole
                onTriggered: mainWindow.showPreferences()
            }
            Platform.MenuSeparator {}
            Platform.MenuItem {
                text: qsTr("Quit")
                shortcut: mainMenu.key(StandardKey.Quit)
                role: Platform.MenuItem.QuitRole
                onTriggered: Qt.quit()
            }
        }

        Platform.Menu {
            title: qsTr("Control")

            Platform.MenuItem {
                text: qsTr("Connect")
                onTriggered: actionHandler.connect()
            }
            Platform.MenuItem {
                text: qsTr("Disconnect")
                onTriggered: actionHandler.disconnect()
            }
            Platform.MenuSeparator {}
            Platform.MenuItem {
                text: qsTr("Mapping Mode")
                checkable: true
                checked: stateManager.isInMappingMode
                shortcut: mainMenu.key("Ctrl+M")
                onTriggered: actionHandler.toggleMappingMode(checked)
            }
            Platform.MenuSeparator {}
            Platform.MenuItem {
                text: qsTr("Play/Stop")
                onTriggered: mainWindow.togglePlay()
            }
            Platform.MenuItem {
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
            Platform.MenuItem {
                text: qsTr("Arpeggiator")
                checkable: true
                checked: stateManager.isArpOn
                onTriggered: stateManager.isArpOn = checked
            }
            Platform.Menu {
                id: keyboardMenu
                title: qsTr("Keyboard")

                // The virtual keyboard's own keys (Z / X, 1 / 2, C / V) do
                // these; the entries show the values.
                readonly property bool known: typeof virtualKeyboard !== "undefined" && virtualKeyboard && virtualKeyboard.octave !== undefined

                function press(code) {
                    virtualKeyboard.keyPressed(code);
                    virtualKeyboard.keyReleased(code);
                }

                Platform.MenuItem {
                    text: keyboardMenu.known ? qsTr("Octave down (now %1)").arg(virtualKeyboard.octave) : qsTr("Octave down")
                    onTriggered: keyboardMenu.press(Qt.Key_Z)
                }
                Platform.MenuItem {
                    text: qsTr("Octave up")
                    onTriggered: keyboardMenu.press(Qt.Key_X)
                }
                Platform.MenuItem {
                    text: keyboardMenu.known ? qsTr("Transpose down (now %1)").arg(virtualKeyboard.transpose) : qsTr("Transpose down")
                    onTriggered: keyboardMenu.press(Qt.Key_1)
                }
                Platform.MenuItem {
                    text: qsTr("Transpose up")
                    onTriggered: keyboardMenu.press(Qt.Key_2)
                }
                Platform.MenuItem {
                    text: keyboardMenu.known ? qsTr("Velocity down (now %1)").arg(virtualKeyboard.velocity) : qsTr("Velocity down")
                    onTriggered: keyboardMenu.press(Qt.Key_C)
                }
                Platform.MenuItem {
                    text: qsTr("Velocity up")
                    onTriggered: keyboardMenu.press(Qt.Key_V)
                }
            }
        }

        Platform.Menu {
            id: presetMenu
            objectName: "platformPresetMenu"
            title: qsTr("Presets")

            function refresh() {
                for (var i = 0; i < presetItems.count; ++i) {
                    var item = presetItems.objectAt(i);
                    if (!item)
                        continue;
                    item.text = mainWindow.presetMenuText(i);
                    item.enabled = !mainWindow.presetSlotEmpty(i);
                }
            }

            onAboutToShow: refresh()

            Instantiator {
                id: presetItems
                model: 16
                delegate: Platform.MenuItem {
                    text: mainWindow.presetMenuText(index)
                    enabled: !mainWindow.presetSlotEmpty(index)
                    shortcut: mainMenu.key(index < 8 ? "Ctrl+" + (index + 1) : "")
                    onTriggered: fileManager.loadPatchAtSlot(index)
                }
                onObjectAdded: presetMenu.insertItem(index, object)
                onObjectRemoved: presetMenu.removeItem(object)
            }
        }

        Platform.Menu {
            title: qsTr("Window")

            Platform.MenuItem {
                text: qsTr("Always on top")
                checkable: true
                checked: stateManager.isWindowOnTop
                shortcut: mainMenu.key("Ctrl+Alt+F")
                onTriggered: actionHandler.toggleFloatingWindowMode(checked)
            }
            Platform.MenuItem {
                text: qsTr("Hide")
                visible: mainWindow.canHide
                enabled: mainWindow.canHide
                // A platform item's shortcut fires even while disabled.
                shortcut: mainWindow.canHide ? mainMenu.key(StandardKey.Close) : ""
                onTriggered: {
                    if (mainWindow.canHide)
                        actionHandler.closeWindow();
                }
            }
            Platform.MenuSeparator {}
            Platform.MenuItem {
                text: qsTr("Show presets")
                checkable: true
                checked: stateManager.isPresetBayShown
                shortcut: mainMenu.key("Ctrl+Shift+P")
                onTriggered: {
                    if (checked)
                        actionHandler.showPresetBay();
                    else
                        actionHandler.hidePresetBay();
                }
            }
            Platform.MenuItem {
                text: qsTr("MIDI monitor")
                shortcut: mainMenu.key("Ctrl+Shift+M")
                onTriggered: mainWindow.showMidiMonitor()
            }
            Platform.MenuSeparator {}
            Platform.MenuItem {
                // F6 belongs to the window: a key here would be a second
                // owner of it.
                text: qsTr("Focus the controls")
                onTriggered: mainWindow.focusControls()
            }
        }

        Platform.Menu {
            title: qsTr("Help")

            Platform.MenuItem {
                text: qsTr("Tutorials")
                onTriggered: actionHandler.openTutorials()
            }
            Platform.MenuItem {
                text: qsTr("Contact us")
                onTriggered: actionHandler.openContactForm()
            }
            Platform.MenuSeparator {}
            Platform.MenuItem {
                text: qsTr("Accessibility Mode")
                checkable: true
                checked: stateManager.isAccessibilityModeOn
                shortcut: mainMenu.key("Ctrl+Shift+A")
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

    LazyWindow {
        id: aboutWindowLoader
        objectName: "aboutWindowLoader"
        sourceComponent: Component {
            AboutWindow {
                objectName: "aboutWindow"
                transientParent: mainWindow
            }
        }
    }
}
