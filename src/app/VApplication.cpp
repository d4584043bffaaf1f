// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/VApplication.h"

VApplication::VApplication(int& argc, char** argv) : QApplication(argc, argv) {}

VApplication::~VApplication() = default;

bool VApplication::eventFilter(QObject*, QEvent*)
{
    return false;
}
