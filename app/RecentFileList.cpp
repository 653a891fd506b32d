#include "app/RecentFileList.h"

#include <QDir>
#include <QSettings>

namespace {

const QString kGroup = QStringLiteral("Recent File List");

QString EntryKey(int index)
{
    return kGroup + QStringLiteral("/File%1").arg(index + 1);
}

}  // namespace

RecentFileList::RecentFileList(int capacity) : m_capacity(capacity) {}

void RecentFileList::Add(const QString& path)
{
    const QString cleaned = QDir::cleanPath(path);
    if (cleaned.isEmpty())
        return;
    m_paths.removeAll(cleaned);
    m_paths.prepend(cleaned);
    while (m_paths.size() > m_capacity)
        m_paths.removeLast();
}

void RecentFileList::Remove(int index)
{
    if (index >= 0 && index < m_paths.size())
        m_paths.removeAt(index);
}

void RecentFileList::Load(const QSettings& profile)
{
    m_paths.clear();
    // Oldest first, so that Add keeps the stored order and drops duplicates and blanks.
    for (int i = m_capacity - 1; i >= 0; --i) {
        const QString path = profile.value(EntryKey(i)).toString();
        if (!path.isEmpty())
            Add(path);
    }
}

void RecentFileList::Save(QSettings& profile) const
{
    profile.remove(kGroup);
    for (int i = 0; i < m_paths.size(); ++i)
        profile.setValue(EntryKey(i), m_paths[i]);
}
