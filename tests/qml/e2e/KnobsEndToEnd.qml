// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick 2.14
import QtTest 1.2
import "../Finder.js" as Finder

// End-to-end run of the window against the real back end, loaded by
//   kinetra --demo --qml tests/qml/e2e/KnobsEndToEnd.qml
// (scripts/ui-e2e.sh runs it under Xvfb). It opens the main window, switches
// the receiver on, focuses a band, adds a wheel by clicking an empty knob's
// header, chooses the band and an axis in the editor with real mouse clicks,
// and saves screenshots before and after into the current directory. It
// prints "E2E ..." lines (geometry for the picture checks, the result) and
// quits with 0 on success, 1 on failure.
Item {
    id: driver

    property var win: null
    property int step: 0
    property real stepStarted: 0
    property real minAlpha: 10
    property real maxAlpha: -10
    property int wheelSlot: 0
    property int band: 1
    property int axis: 1
    property int shotsPending: 0

    function find(name) {
        return win ? Finder.find(win, name) : null;
    }
    function knob() {
        return find("knob" + wheelSlot);
    }
    function say(text) {
        console.info("E2E " + text);
    }
    function fail(text) {
        say("FAIL " + text);
        Qt.exit(1);
        poll.stop();
    }
    function click(item) {
        if (!item) {
            fail("nothing to click at step " + step);
            return false;
        }
        events.mouseClick(item, item.width / 2, item.height / 2, Qt.LeftButton, Qt.NoModifier, -1);
        return true;
    }
    function rectOf(item) {
        var p = item.mapToItem(null, 0, 0);
        return Math.round(p.x) + " " + Math.round(p.y) + " " + Math.round(item.width) + " " + Math.round(item.height);
    }
    function shoot(name) {
        shotsPending += 1;
        var ok = win.contentItem.parent.grabToImage(function (result) {
            if (result.saveToFile(name))
                say("shot " + name);
            else
                fail("cannot save " + name);
            shotsPending -= 1;
        });
        if (!ok)
            fail("cannot grab " + name);
    }
    function elapsed() {
        return Date.now() - stepStarted;
    }
    function next() {
        step += 1;
        stepStarted = Date.now();
    }

    TestEvent {
        id: events
    }

    Component {
        id: backdrop
        Rectangle {
            anchors.fill: parent
            z: -1000
        }
    }

    Component.onCompleted: {
        var component = Qt.createComponent("qrc:/main.qml");
        if (component.status !== Component.Ready) {
            fail("main window: " + component.errorString());
            return;
        }
        win = component.createObject(null);
        // A grab renders the items only; the window's own colour goes
        // behind them so the pictures look as the window does.
        backdrop.createObject(win.contentItem.parent, {
                "color": win.color
            });
        stepStarted = Date.now();
        poll.start();
    }

    // Each step waits for its condition, then acts; a step that waits too
    // long fails the run.
    Timer {
        id: poll
        interval: 100
        repeat: true
        onTriggered: {
            var ms = driver.win ? driver.find("dataMonitor" + driver.band) : null;
            if (ms && ms.visible && stateManager.focusedDevice === driver.band && driver.step >= 8) {
                driver.minAlpha = Math.min(driver.minAlpha, ms.monitor.opacity);
                driver.maxAlpha = Math.max(driver.maxAlpha, ms.monitor.opacity);
            }
            if (driver.elapsed() > 20000) {
                driver.fail("step " + driver.step + " timed out");
                return;
            }
            var slider = driver.knob() ? driver.knob().multiSlider : null;
            switch (driver.step) {
            case 0:
                // The window is up and drawn.
                if (driver.win.visible && driver.elapsed() > 1500) {
                    if (!stateManager.isConnected)
                        driver.click(driver.find("powerSwitch"));
                    driver.next();
                }
                break;
            case 1:
                // The simulated bands are listed.
                if (stateManager.isConnected && motionControlEngine.num_device > driver.band) {
                    driver.say("devices " + motionControlEngine.num_device);
                    driver.click(driver.find("deviceButton" + driver.band));
                    driver.next();
                }
                break;
            case 2:
                if (stateManager.focusedDevice === driver.band && driver.elapsed() > 1500) {
                    // The restored patch may fill some slots: take the first
                    // empty one.
                    driver.wheelSlot = -1;
                    for (var i = 0; i < 12 && driver.wheelSlot < 0; ++i) {
                        var k = driver.find("knob" + i);
                        if (k && k.multiSlider.isDummy)
                            driver.wheelSlot = i;
                    }
                    if (driver.wheelSlot < 0) {
                        driver.fail("no empty slot");
                        return;
                    }
                    driver.say("empty slot " + driver.wheelSlot);
                    driver.shoot("e2e-1-before.png");
                    driver.next();
                }
                break;
            case 3:
                if (driver.shotsPending === 0) {
                    // An empty knob's header adds a wheel.
                    driver.click(Finder.find(driver.knob(), "sliderTopbar"));
                    driver.next();
                }
                break;
            case 4:
                if (!slider.isDummy) {
                    driver.say("wheel added: " + slider.name);
                    driver.click(Finder.find(driver.knob(), "selectArea"));
                    driver.next();
                }
                break;
            case 5:
                if (driver.find("sliderPanel").state === "opened" && driver.elapsed() > 400) {
                    driver.click(driver.find("deviceRadio" + driver.band));
                    driver.click(driver.find("axisRadio" + driver.axis));
                    driver.next();
                }
                break;
            case 6:
                if (slider.deviceIndex === driver.band && slider.source === driver.axis && driver.elapsed() > 1500) {
                    driver.say("wheel follows band " + slider.deviceIndex + " axis " + slider.source);
                    driver.shoot("e2e-2-editor.png");
                    driver.next();
                }
                break;
            case 7:
                if (driver.shotsPending === 0) {
                    // Clicking the focused knob again closes the editor.
                    driver.click(Finder.find(driver.knob(), "selectArea"));
                    driver.next();
                }
                break;
            case 8:
                if (stateManager.focusedSource === -1 && driver.elapsed() > 2500) {
                    driver.say("knob " + driver.rectOf(Finder.find(driver.knob(), "knob")));
                    driver.say("tile " + driver.rectOf(driver.find("dataMonitor" + driver.band)));
                    driver.shoot("e2e-3-after.png");
                    driver.next();
                }
                break;
            case 9:
                if (driver.shotsPending === 0 && driver.elapsed() > 800) {
                    driver.shoot("e2e-4-after-later.png");
                    driver.next();
                }
                break;
            case 10:
                if (driver.shotsPending === 0) {
                    driver.say("tile opacity " + driver.minAlpha.toFixed(3) + " .. " + driver.maxAlpha.toFixed(3));
                    if (!(driver.maxAlpha - driver.minAlpha > 0.01)) {
                        driver.fail("the data tile did not follow the band");
                        return;
                    }
                    driver.say("PASS");
                    poll.stop();
                    Qt.exit(0);
                }
                break;
            }
        }
    }
}
