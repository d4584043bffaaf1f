.pragma library
// SPDX-License-Identifier: GPL-3.0-or-later

// Arithmetic of the knobs, the editors and the device panel, kept apart from
// the documents so that it can be tested on its own.

// ---------------------------------------------------------------- knob sweep

// The knob's 0 sits at the lower left (120 degrees, clockwise from the right
// as on screen) and 127 at the lower right, 300 degrees further on.
var startAngle = 2 * Math.PI / 3;
var endAngle = startAngle + 5 * Math.PI / 3;
var maxValue = 127;

// Linear map of x from inMin..inMax onto outMin..outMax.
function map(x, inMin, inMax, outMin, outMax) {
    return (x - inMin) * (outMax - outMin) / (inMax - inMin) + outMin;
}

function clamp(v, lo, hi) {
    return Math.max(lo, Math.min(hi, v));
}

// Angle in radians of a value 0..127 on the sweep from start to end.
function valueToAngle(value, start, end) {
    return map(clamp(value, 0, maxValue), 0, maxValue, start, end);
}

function radiansToDegrees(a) {
    return a * 180 / Math.PI;
}

// Value 0..127 of a pointer angle as atan2 gives it (-pi..pi). Angles in the
// gap under the knob go to the nearer end of the sweep.
function angleToValue(angle, start, end) {
    var full = 2 * Math.PI;
    var a = start + (((angle - start) % full) + full) % full;
    if (a > end)
        a = (a - end) <= (start + full - a) ? end : start;
    return clamp(map(a, start, end, 0, maxValue), 0, maxValue);
}

// Value 0..127 of the point (x, y) seen from the knob's centre (cx, cy).
function pointToValue(x, y, cx, cy, start, end) {
    return angleToValue(Math.atan2(y - cy, x - cx), start, end);
}

// ------------------------------------------------------------------- handles

// The default handle stays between the output's min and max.
function limitDefault(value, min, max) {
    return clamp(value, Math.min(min, max), Math.max(min, max));
}

// The lower bound of the motion window never passes the upper one.
function limitLowerbound(value, upperbound) {
    return clamp(value, 0, upperbound);
}

// The upper bound of the motion window never passes the lower one.
function limitUpperbound(value, lowerbound) {
    return clamp(value, lowerbound, maxValue);
}

// Both bounds dragged together (Shift held): the window keeps its width and
// stops at either end of the scale. `moved` is "lower" or "upper".
function dragWindow(value, moved, lowerbound, upperbound) {
    var delta = value - (moved === "lower" ? lowerbound : upperbound);
    delta = clamp(delta, -lowerbound, maxValue - upperbound);
    return {
        "lowerbound": lowerbound + delta,
        "upperbound": upperbound + delta
    };
}

// Output range from the editors: min is never set above max, max never below
// min.
function limitMin(value, max) {
    return Math.min(value, max);
}

function limitMax(value, min) {
    return Math.max(value, min);
}

// Clicking the focused knob again clears the focus.
function nextFocusedSource(focused, index) {
    return focused === index ? -1 : index;
}

// -------------------------------------------------------------------- events

var pitchBend = 200;
var aftertouch = 201;

// Caption under the knob.
function knobEventText(n, commonCCs, commonCCNames) {
    if (n === pitchBend)
        return "Pichbend";
    if (n === aftertouch)
        return "Aftertouch";
    var common = commonCCs.indexOf(n);
    if (common >= 0)
        return commonCCNames[common];
    return "CC " + n;
}

// Event as the editor and the accessible editor name it.
function eventText(n) {
    if (n === pitchBend)
        return "Pitchbend";
    if (n === aftertouch)
        return "Aftertouch";
    return "CC " + n;
}

// Entry of a controller in the event menu, e.g. "CC 7 | Volume".
function eventMenuText(n, ccList) {
    return "CC " + n + " | " + ccList[n];
}

// The event number typed in the accessible editor, or -1 when it is not one:
// a controller 0..127, 200 for pitch bend or 201 for aftertouch.
function parseEventNumber(text) {
    var s = String(text).trim();
    if (!/^[0-9]+$/.test(s))
        return -1;
    var n = parseInt(s, 10);
    if (n < 128 || n === pitchBend || n === aftertouch)
        return n;
    return -1;
}

// ------------------------------------------------------------ knob captions

// Screen reader description of a knob's header.
function headerDescription(isDummy, name, slot, enabled) {
    if (isDummy)
        return "Press to add a source on slot " + (slot + 1);
    var now = enabled ? "on" : "off";
    var next = enabled ? "off" : "on";
    return name + " on slot " + (slot + 1) + ", currently " + now + ", press to turn it " + next;
}

// ------------------------------------------------------------- device panel

// A device name as the rename dialog stores it: at most 12 characters, and
// "Orvik" for an empty field.
function deviceName(text) {
    var s = text === undefined || text === null ? "" : String(text);
    return s.length === 0 ? "Orvik" : s.substring(0, 12);
}

function canMoveUp(index) {
    return index > 0;
}

function canMoveDown(index, numDevices) {
    return index < numDevices - 1;
}

// Device to focus after a removal, given how many remain.
function focusAfterRemoval(remaining) {
    return remaining > 0 ? 0 : -1;
}

// Mute and solo exclude each other: switching one on clears the other.
function toggledMute(muted, soloed) {
    var m = !muted;
    return {
        "muted": m,
        "soloed": (m && soloed) ? false : soloed
    };
}

function toggledSolo(muted, soloed) {
    var s = !soloed;
    return {
        "muted": (s && muted) ? false : muted,
        "soloed": s
    };
}

// -------------------------------------------------------- Z-centre calibration

// Ticks the pose must be held (count must pass it), then ticks "Done!" shows.
var holdTicks = 50;
var doneTicks = 50;
// How far (degrees, pixels) the moving logo may be from the target.
var targetTolerance = 6;

function newCalibration() {
    return {
        "z": 0,
        "count": 0,
        "timeoutCount": 0,
        "inRange": false,
        "done": false,
        "firstRef": 0
    };
}

function logoY(itemHeight, y, logoWidth) {
    return itemHeight * (1 - y) - logoWidth * 0.5;
}

function logoRotation(x) {
    return (2 * x - 1) * 180;
}

function isOnTarget(rotation, y, targetY) {
    return Math.abs(rotation) <= targetTolerance && Math.abs(targetY - y) <= targetTolerance;
}

// A heading on -1..1 (a half turn per unit) brought back into [-1, 1).
function wrapHeading(v) {
    return ((v + 1) % 2 + 2) % 2 - 1;
}

// The mean of the collected Z references. Headings are angles: the samples
// are unwrapped around the first one, so a pose held across the +-1 seam
// averages to the seam and not to the opposite direction.
function calibrationAverage(state) {
    if (state.count <= 0)
        return 0;
    return wrapHeading(state.z / state.count);
}

// One 16 ms tick of the calibration. Changes `state` and returns whether the
// average is to be stored now (`store`, `value`) and the dialog closed.
function calibrationTick(state, onTarget, zRef) {
    var result = {
        "store": false,
        "value": 0,
        "close": false
    };
    if (state.count <= holdTicks) {
        if (onTarget) {
            if (state.count === 0)
                state.firstRef = zRef;
            state.inRange = true;
            state.z += state.firstRef + wrapHeading(zRef - state.firstRef);
            state.count += 1;
        } else {
            state.z = 0;
            state.timeoutCount = 0;
            state.inRange = false;
            state.count = 0;
        }
    } else {
        state.done = true;
        state.timeoutCount += 1;
        if (state.timeoutCount > doneTicks) {
            result.store = true;
            result.value = calibrationAverage(state);
            result.close = true;
            state.count = 0;
            state.timeoutCount = 0;
            state.z = 0;
        }
    }
    return result;
}

// The audible guide while calibrating in accessibility mode: a steady tone
// on target, otherwise pitch and tremolo follow the arm's height (Y) and the
// pan the wrist's roll (X).
function guideTone(inRange, x, y) {
    var a = 2 * y - 1;
    return {
        "freq": inRange ? 293 : 220 + 20 * a,
        "amp": 0.2,
        "lfoRate": inRange ? 4 : Math.max(0, 3 + 2 * a),
        "pan": inRange ? 0.5 : clamp(1 - x, 0, 1)
    };
}
