// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/AccessibilityTeardown.h"

#include <QAccessible>

namespace {

void dropNotice(QAccessibleEvent* /*event*/) {}

} // namespace

void AccessibilityTeardown::silence()
{
    // An installed handler replaces the platform bridge as the receiver of
    // every update.
    QAccessible::installUpdateHandler(&dropNotice);
}
