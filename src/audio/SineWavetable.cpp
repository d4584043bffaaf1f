// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/SineWavetable.h"

#include <cmath>

SineWavetable::SineWavetable()
{
    fillTable();
}

void SineWavetable::fillTable()
{
    const double step = 2.0 * M_PI / static_cast<double>(m_tableSize - 1);
    for (int i = 0; i < m_tableSize; ++i)
        m_table[static_cast<size_t>(i)] = static_cast<float>(std::sin(step * i));
}
