import QtQuick 2.14

// The twelve control-source knobs in a 4-column grid.
Rectangle {
    id: sliderContainer

    // Passed to every knob: the slide-up editor and the screen-reader editor.
    property var editor: null
    property var accessibleEditor: null
    readonly property alias knobs: cSourceContainer

    function refreshAll() {
        for (var i = 0; i < cSourceContainer.count; ++i) {
            var knob = cSourceContainer.itemAt(i);
            if (knob)
                knob.refresh();
        }
    }

    color: "transparent"
    height: 435

    Connections {
        target: typeof fileManager !== "undefined" ? fileManager : null
        ignoreUnknownSignals: true
        function onPatchChanged() {
            sliderContainer.refreshAll();
        }
    }

    Connections {
        target: motionControlEngine
        ignoreUnknownSignals: true
        function onNewCSourceAddedAt(i) {
            sliderContainer.refreshAll();
        }
        function onCSourceRemoved(i) {
            sliderContainer.refreshAll();
        }
        // A device's position, and so the colour of its wheels, may change.
        function onNumOfDeviceChanged() {
            sliderContainer.refreshAll();
        }
        function onDeviceSwapped() {
            sliderContainer.refreshAll();
        }
    }

    Grid {
        id: grid
        objectName: "knobGrid"
        anchors.horizontalCenter: parent.horizontalCenter
        width: 580
        columns: 4

        Repeater {
            id: cSourceContainer
            objectName: "cSourceContainer"
            model: motionControlEngine.getNumOfCSources()

            delegate: VMultiSliderItem {
                objectName: "knob" + index
                width: 145
                height: 145
                slot: index
                editor: sliderContainer.editor
                accessibleEditor: sliderContainer.accessibleEditor
            }
        }
    }
}
