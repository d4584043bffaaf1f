// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>

// The settings file "settings.json": the current patch, the MIDI devices the
// user switched off, four MIDI and keyboard switches and the tempo. Pure conversion
// between the JSON object and a plain record; the defaults are those a
// settings file takes for missing keys (not the application's initial
// state: a missing "virtualKeyboard" reads as off).
class SettingsDocument
{
public:
    QString currentPatch;
    QStringList ignoredInputs;
    QStringList ignoredOutputs;
    bool hiResMidi = false;
    bool syncingToClock = false;
    bool sendingClock = true;
    bool virtualKeyboard = false;
    // Beats per minute, 20..256; files written before it was kept read 120.
    int tempo = 120;

    // Array entries that are not strings read as empty text.
    static SettingsDocument fromJson(const QJsonObject& object);
    QJsonObject toJson() const;
};
