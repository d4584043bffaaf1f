// SPDX-License-Identifier: GPL-3.0-or-later
// Compiled against one layer's include folder with KINETRA_PROBE_HEADER
// naming a header of another folder: it builds only when that folder is the
// layer itself or lies below it.
#include KINETRA_PROBE_HEADER

int kinetraLayerProbe()
{
    return 0;
}
