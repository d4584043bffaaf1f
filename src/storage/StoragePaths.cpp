// SPDX-License-Identifier: GPL-3.0-or-later
#include "storage/StoragePaths.h"

#include <QDir>
#include <QStandardPaths>

namespace {

QString join(const QString& folder, const QString& name)
{
    return folder + QLatin1Char('/') + name;
}

} // namespace

StoragePaths StoragePaths::standard()
{
    return StoragePaths(join(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation),
                             QStringLiteral("Vantor/Kinetra")));
}

StoragePaths::StoragePaths(const QString& root)
    : m_root(QDir::cleanPath(root)), m_settings(join(m_root, QStringLiteral("settings.json"))),
      m_devices(join(m_root, QStringLiteral("devices.json"))),
      m_presets(join(m_root, QStringLiteral("presets"))),
      m_factory(join(m_presets, QStringLiteral("factory"))),
      m_user(join(m_presets, QStringLiteral("user"))),
      m_backup(join(m_presets, QStringLiteral("backup"))),
      m_audioSetup(join(m_root, QStringLiteral("audioSetup.xml"))),
      m_presetIndex(join(m_presets, QStringLiteral(".presets.json")))
{
}

bool StoragePaths::createFolders() const
{
    bool ok = true;
    for (const QString& folder : {m_root, m_presets, m_backup, m_factory, m_user}) {
        if (!QDir(folder).exists() && !QDir().mkpath(folder))
            ok = false;
    }
    return ok;
}
