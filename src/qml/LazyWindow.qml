// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick 2.14

// A secondary window made the first time it is opened and kept from then on
// (with what it shows), so that start-up builds only the main window.
// `sourceComponent` is the window; `item` is it once made.
Loader {
    active: false

    // Makes the window when it is not there yet; returns it.
    function window() {
        active = true;
        return item;
    }

    // Shows, raises and activates it; returns it.
    function open() {
        var w = window();
        w.show();
        w.raise();
        w.requestActivate();
        return w;
    }
}
