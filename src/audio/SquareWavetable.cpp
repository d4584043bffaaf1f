// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/SquareWavetable.h"

#include <cstddef>

SquareWavetable::SquareWavetable()
{
    fillTable();
}

void SquareWavetable::fillTable()
{
    for (int i = 0; i < m_tableSize; ++i)
        m_table[static_cast<size_t>(i)] = i < m_tableSize / 2 ? 1.0f : -1.0f;
}
