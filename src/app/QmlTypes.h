// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Registers the native items under their QML names ("VT.DataMonitor",
// "VT.VMultiSlider", "VT.Orvik", version 1.0) and the types that cross
// threads in queued signals. The application, the benchmarks and the tests
// call it once before loading any document.
void registerQmlTypes();
