.pragma library
// SPDX-License-Identifier: GPL-3.0-or-later

// Names of the MIDI controllers, and the lists the editor's event menu is
// built from.

var ccList = (function () {
    var names = [];
    var i;
    names[0] = "Bank Select";
    names[1] = "Modulation";
    names[2] = "Breath Controller";
    names[3] = "Undefined";
    names[4] = "Foot Controller";
    names[5] = "Portamento Time";
    names[6] = "Data Entry MSB";
    names[7] = "Volume";
    names[8] = "Balance";
    names[9] = "Undefined";
    names[10] = "Pan";
    names[11] = "Expression";
    names[12] = "Effect Control 1";
    names[13] = "Effect Control 2";
    names[14] = "Undefined";
    names[15] = "Undefined";
    for (i = 16; i <= 19; ++i)
        names[i] = "General Purpose " + (i - 15);
    for (i = 20; i <= 31; ++i)
        names[i] = "Undefined";
    for (i = 32; i <= 63; ++i)
        names[i] = "LSB for Controllers " + (i - 32);
    names[64] = "Sustain Pedal";
    names[65] = "Portamento";
    names[66] = "Sostenuto";
    names[67] = "Soft Pedal";
    names[68] = "Legato Footswitch";
    names[69] = "Hold 2";
    names[70] = "Sound Variation";
    names[71] = "Timer/Harmonic Content";
    names[72] = "Release Time";
    names[73] = "Attack Time";
    names[74] = "Brightness";
    for (i = 75; i <= 79; ++i)
        names[i] = "Sound Controller " + (i - 69);
    for (i = 80; i <= 83; ++i)
        names[i] = "General Purpose " + (i - 75);
    names[84] = "Portamento Control";
    for (i = 85; i <= 90; ++i)
        names[i] = "Undefined";
    names[91] = "External Effects Depth";
    names[92] = "Tremolo Depth";
    names[93] = "Chorus Depth";
    names[94] = "Detune Depth";
    names[95] = "Phaser Depth";
    names[96] = "Data Increment";
    names[97] = "Data Decrement";
    names[98] = "Non-Registered Parameter Number LSB";
    names[99] = "Non-Registered Parameter Number MSB";
    names[100] = "Registered Parameter Number LSB";
    names[101] = "Registered Parameter Number MSB";
    for (i = 102; i <= 120; ++i)
        names[i] = "Undefined";
    names[121] = "Reset All Controllers";
    names[122] = "Local Control";
    names[123] = "All Notes Off";
    names[124] = "Omni Off";
    names[125] = "Omni On";
    names[126] = "Mono On";
    names[127] = "Poly On";
    return names;
})();

var commonCCs = [1, 2, 7, 10, 11];
var commonCCNames = ["Modulation", "Breath Ctrl", "Volume", "Pan", "Expression"];

var uncommonCC0_63 = (function () {
    var list = [];
    for (var i = 0; i <= 63; ++i) {
        if (commonCCs.indexOf(i) < 0)
            list.push(i);
    }
    return list;
})();

// Controllers 120-127 are the channel-mode messages (all sound off, reset
// all controllers, local control, all notes off, omni, mono/poly): a wheel
// moving one would flood the receivers with mode changes. They are not
// offered, and a wheel a patch puts on one sends nothing (the engine cuts
// an event number to its low seven bits, pitch bend and aftertouch aside).
var firstChannelModeCC = 120;

function isChannelModeCC(n) {
    return n !== 200 && n !== 201 && (n & 127) >= firstChannelModeCC;
}

var uncommonCC64_119 = (function () {
    var list = [];
    for (var i = 64; i < firstChannelModeCC; ++i)
        list.push(i);
    return list;
})();
