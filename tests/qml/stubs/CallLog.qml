// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick 2.14

// Records the calls a stub receives, for the tests to check.
QtObject {
    property var calls: []

    function record(name, args) {
        calls.push({
                "name": name,
                "args": args === undefined ? [] : args
            });
    }
    function count(name) {
        var n = 0;
        for (var i = 0; i < calls.length; ++i)
            if (calls[i].name === name)
                ++n;
        return n;
    }
    // Arguments of the last call of `name`, or null.
    function last(name) {
        for (var i = calls.length - 1; i >= 0; --i)
            if (calls[i].name === name)
                return calls[i].args;
        return null;
    }
    function clearCalls() {
        calls = [];
    }
}
