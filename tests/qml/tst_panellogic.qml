// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick 2.14
import QtTest 1.2
import "qrc:/PanelLogic.js" as Logic
import "qrc:/MidiTypes.js" as MidiTypes

// The arithmetic behind the knobs, the editors, the device panel and the
// Z-centre calibration.
TestCase {
    name: "PanelLogic"

    readonly property real start: 2 * Math.PI / 3
    readonly property real end: start + 5 * Math.PI / 3

    // --- knob sweep --------------------------------------------------------

    function test_valueAngleRoundTrip_data() {
        return [{
                "tag": "zero at the lower left",
                "value": 0,
                "angle": 2 * Math.PI / 3
            }, {
                "tag": "middle at the top",
                "value": 63.5,
                "angle": 3 * Math.PI / 2
            }, {
                "tag": "127 at the lower right",
                "value": 127,
                "angle": 7 * Math.PI / 3
            }, {
                "tag": "a quarter",
                "value": 31.75,
                "angle": 2 * Math.PI / 3 + 5 * Math.PI / 12
            }];
    }

    function test_valueAngleRoundTrip(data) {
        fuzzyCompare(Logic.valueToAngle(data.value, start, end), data.angle, 1e-9);
        // atan2 reports angles in -pi..pi; the mapping must undo the wrap.
        var a = Math.atan2(Math.sin(data.angle), Math.cos(data.angle));
        fuzzyCompare(Logic.angleToValue(a, start, end), data.value, 1e-6);
    }

    function test_everyWholeValueSurvivesTheRoundTrip() {
        for (var v = 0; v <= 127; ++v) {
            var a = Logic.valueToAngle(v, start, end);
            var back = Logic.angleToValue(Math.atan2(Math.sin(a), Math.cos(a)), start, end);
            fuzzyCompare(back, v, 1e-6, "value " + v);
        }
    }

    function test_valueOutsideTheScaleIsClampedToTheSweep() {
        compare(Logic.valueToAngle(-20, start, end), start);
        compare(Logic.valueToAngle(500, start, end), end);
    }

    function test_anglesInTheGapGoToTheNearerEnd_data() {
        return [{
                "tag": "just right of straight down",
                "deg": 80,
                "value": 127
            }, {
                "tag": "just left of straight down",
                "deg": 100,
                "value": 0
            }, {
                "tag": "straight down",
                "deg": 90,
                "value": 127
            }, {
                "tag": "end of the sweep",
                "deg": 60,
                "value": 127
            }, {
                "tag": "start of the sweep",
                "deg": 120,
                "value": 0
            }, {
                "tag": "pointing right",
                "deg": 0,
                "value": 101.6
            }, {
                "tag": "pointing left",
                "deg": 180,
                "value": 25.4
            }];
    }

    function test_anglesInTheGapGoToTheNearerEnd(data) {
        var a = data.deg * Math.PI / 180;
        a = Math.atan2(Math.sin(a), Math.cos(a));
        fuzzyCompare(Logic.angleToValue(a, start, end), data.value, 1e-6);
    }

    function test_pointToValueUsesScreenCoordinates() {
        // y grows downwards: a point straight above the centre is the top.
        fuzzyCompare(Logic.pointToValue(50, 0, 50, 50, start, end), 63.5, 1e-6);
        fuzzyCompare(Logic.pointToValue(50, 100, 50, 50, start, end), 127, 1e-6);
    }

    // --- handles and ranges --------------------------------------------------

    function test_handlesAreLimitedToEachOtherAndToTheRange() {
        compare(Logic.limitLowerbound(90, 80), 80);
        compare(Logic.limitLowerbound(-4, 80), 0);
        compare(Logic.limitLowerbound(30, 80), 30);
        compare(Logic.limitUpperbound(20, 40), 40);
        compare(Logic.limitUpperbound(140, 40), 127);
        compare(Logic.limitUpperbound(100, 40), 100);
        compare(Logic.limitDefault(5, 10, 100), 10);
        compare(Logic.limitDefault(120, 10, 100), 100);
        compare(Logic.limitDefault(50, 10, 100), 50);
    }

    function test_shiftDragKeepsTheWindowWidthWithinTheScale() {
        var w = Logic.dragWindow(40, "lower", 20, 60);
        compare(w.lowerbound, 40);
        compare(w.upperbound, 80);
        w = Logic.dragWindow(120, "upper", 20, 60);
        compare(w.lowerbound, 80);
        compare(w.upperbound, 120);
        // The window stops at the end of the scale instead of shrinking.
        w = Logic.dragWindow(100, "lower", 20, 60);
        compare(w.lowerbound, 87);
        compare(w.upperbound, 127);
        w = Logic.dragWindow(0, "upper", 20, 60);
        compare(w.lowerbound, 0);
        compare(w.upperbound, 40);
    }

    function test_minAboveMaxIsRefusedByClamping() {
        compare(Logic.limitMin(100, 80), 80);
        compare(Logic.limitMin(10, 80), 10);
        compare(Logic.limitMax(20, 50), 50);
        compare(Logic.limitMax(90, 50), 90);
    }

    function test_clickingTheFocusedKnobClearsTheFocus() {
        compare(Logic.nextFocusedSource(-1, 3), 3);
        compare(Logic.nextFocusedSource(2, 3), 3);
        compare(Logic.nextFocusedSource(3, 3), -1);
    }

    // --- events --------------------------------------------------------------

    function test_eventFieldAcceptsControllersPitchBendAndAftertouchOnly_data() {
        return [{
                "text": "0",
                "n": 0
            }, {
                "text": "7",
                "n": 7
            }, {
                "text": "127",
                "n": 127
            }, {
                "text": "128",
                "n": -1
            }, {
                "text": "199",
                "n": -1
            }, {
                "text": "200",
                "n": 200
            }, {
                "text": "201",
                "n": 201
            }, {
                "text": "202",
                "n": -1
            }, {
                "text": "",
                "n": -1
            }, {
                "text": "-3",
                "n": -1
            }, {
                "text": "12abc",
                "n": -1
            }];
    }

    function test_eventFieldAcceptsControllersPitchBendAndAftertouchOnly(data) {
        compare(Logic.parseEventNumber(data.text), data.n);
    }

    function test_eventTexts() {
        compare(Logic.knobEventText(200, MidiTypes.commonCCs, MidiTypes.commonCCNames), "Pichbend");
        compare(Logic.knobEventText(201, MidiTypes.commonCCs, MidiTypes.commonCCNames), "Aftertouch");
        compare(Logic.knobEventText(2, MidiTypes.commonCCs, MidiTypes.commonCCNames), "Breath Ctrl");
        compare(Logic.knobEventText(74, MidiTypes.commonCCs, MidiTypes.commonCCNames), "CC 74");
        compare(Logic.eventText(200), "Pitchbend");
        compare(Logic.eventText(201), "Aftertouch");
        compare(Logic.eventText(11), "CC 11");
        compare(Logic.eventMenuText(7, MidiTypes.ccList), "CC 7 | Volume");
    }

    function test_controllerLists() {
        compare(MidiTypes.ccList.length, 128);
        for (var i = 0; i < 128; ++i)
            verify(typeof MidiTypes.ccList[i] === "string" && MidiTypes.ccList[i].length > 0, "name of " + i);
        compare(MidiTypes.ccList[19], "General Purpose 4");
        compare(MidiTypes.ccList[32], "LSB for Controllers 0");
        compare(MidiTypes.ccList[63], "LSB for Controllers 31");
        compare(MidiTypes.ccList[75], "Sound Controller 6");
        compare(MidiTypes.ccList[79], "Sound Controller 10");
        compare(MidiTypes.ccList[80], "General Purpose 5");
        compare(MidiTypes.ccList[83], "General Purpose 8");
        compare(MidiTypes.ccList[127], "Poly On");
        compare(MidiTypes.uncommonCC0_63.length, 59);
        compare(MidiTypes.uncommonCC64_119.length, 56);
        for (var c = 0; c < MidiTypes.commonCCs.length; ++c)
            compare(MidiTypes.uncommonCC0_63.indexOf(MidiTypes.commonCCs[c]), -1);
        compare(MidiTypes.uncommonCC0_63[0], 0);
        compare(MidiTypes.uncommonCC0_63[58], 63);
        compare(MidiTypes.commonCCNames.length, MidiTypes.commonCCs.length);
    }

    function test_headerDescriptions() {
        compare(Logic.headerDescription(true, "Empty slot", 0, true), "Press to add a source on slot 1");
        compare(Logic.headerDescription(false, "Wheel 3", 2, true), "Wheel 3 on slot 3, currently on, press to turn it off");
        compare(Logic.headerDescription(false, "Wheel 3", 2, false), "Wheel 3 on slot 3, currently off, press to turn it on");
    }

    // --- device panel -------------------------------------------------------

    function test_renameTruncatesAndDefaults() {
        compare(Logic.deviceName(""), "Orvik");
        compare(Logic.deviceName("abcdefghijklmnopqrst"), "abcdefghijkl");
        compare(Logic.deviceName("left hand"), "left hand");
    }

    function test_reorderEntries() {
        verify(!Logic.canMoveUp(0));
        verify(Logic.canMoveUp(1));
        verify(Logic.canMoveDown(0, 2));
        verify(!Logic.canMoveDown(1, 2));
        verify(!Logic.canMoveDown(0, 1));
        compare(Logic.focusAfterRemoval(1), 0);
        compare(Logic.focusAfterRemoval(0), -1);
    }

    function test_muteAndSoloExcludeEachOther() {
        var r = Logic.toggledMute(false, true);
        verify(r.muted);
        verify(!r.soloed);
        r = Logic.toggledMute(true, false);
        verify(!r.muted);
        verify(!r.soloed);
        r = Logic.toggledSolo(true, false);
        verify(r.soloed);
        verify(!r.muted);
        r = Logic.toggledSolo(false, true);
        verify(!r.soloed);
    }

    // --- calibration ----------------------------------------------------------

    // Runs `n` ticks on or off target with the references from `refs` (cycled)
    // and returns the results of the ticks that stored something.
    function run(state, n, onTarget, refs) {
        var stored = [];
        for (var i = 0; i < n; ++i) {
            var r = Logic.calibrationTick(state, onTarget, refs[i % refs.length]);
            if (r.store)
                stored.push(r);
        }
        return stored;
    }

    function test_calibrationStoresTheAverageAfter51HeldTicks() {
        var s = Logic.newCalibration();
        var refs = [0.1, 0.2, 0.3, 0.4, 0.5, 0.6];
        var sum = 0;
        for (var i = 0; i < 51; ++i)
            sum += refs[i % refs.length];
        compare(run(s, 50, true, refs).length, 0);
        compare(s.count, 50);
        verify(!s.done);
        // The 51st tick completes the hold; "Done!" then shows for 51 ticks.
        var stored = run(s, 1, true, [refs[50 % refs.length]]);
        compare(stored.length, 0);
        compare(s.count, 51);
        stored = run(s, 50, false, [0.9]);
        compare(stored.length, 0);
        verify(s.done);
        stored = run(s, 1, false, [0.9]);
        compare(stored.length, 1);
        verify(stored[0].close);
        fuzzyCompare(stored[0].value, sum / 51, 1e-9);
        compare(s.count, 0);
        compare(s.z, 0);
    }

    function test_leavingThePoseRestartsTheCollection() {
        var s = Logic.newCalibration();
        run(s, 30, true, [0.9]);
        compare(s.count, 30);
        run(s, 1, false, [0.9]);
        compare(s.count, 0);
        compare(s.z, 0);
        verify(!s.inRange);
        var stored = run(s, 51 + 51, true, [-0.25]);
        compare(stored.length, 1);
        fuzzyCompare(stored[0].value, -0.25, 1e-9);
    }

    function test_calibrationAcrossTheHeadingSeamAveragesToTheSeam() {
        var s = Logic.newCalibration();
        var stored = run(s, 102, true, [0.98, -0.98]);
        compare(stored.length, 1);
        // Half-way between 0.98 and -0.98 the short way round is the seam,
        // not 0 (the opposite direction).
        verify(Math.abs(Math.abs(stored[0].value) - 1) < 0.02, "got " + stored[0].value);
    }

    function test_onTargetTolerance() {
        verify(Logic.isOnTarget(0, 100, 100));
        verify(Logic.isOnTarget(6, 106, 100));
        verify(Logic.isOnTarget(-6, 94, 100));
        verify(!Logic.isOnTarget(6.5, 100, 100));
        verify(!Logic.isOnTarget(0, 107, 100));
        fuzzyCompare(Logic.logoRotation(0.5), 0, 1e-9);
        compare(Logic.logoRotation(1), 180);
        compare(Logic.logoY(400, 0.5, 140), 130);
    }

    function test_guideTone_data() {
        return [{
                "tag": "on target",
                "inRange": true,
                "x": 0.2,
                "y": 0.9,
                "freq": 293,
                "lfo": 4,
                "pan": 0.5
            }, {
                "tag": "arm raised",
                "inRange": false,
                "x": 0.3,
                "y": 0.9,
                "freq": 236,
                "lfo": 4.6,
                "pan": 0.7
            }, {
                "tag": "arm lowered",
                "inRange": false,
                "x": 1,
                "y": 0,
                "freq": 200,
                "lfo": 1,
                "pan": 0
            }, {
                "tag": "below the scale",
                "inRange": false,
                "x": 0,
                "y": -0.5,
                "freq": 180,
                "lfo": 0,
                "pan": 1
            }];
    }

    function test_guideTone(data) {
        var t = Logic.guideTone(data.inRange, data.x, data.y);
        fuzzyCompare(t.freq, data.freq, 1e-9);
        fuzzyCompare(t.lfoRate, data.lfo, 1e-9);
        fuzzyCompare(t.pan, data.pan, 1e-9);
        compare(t.amp, 0.2);
        verify(t.lfoRate >= 0);
    }
}
