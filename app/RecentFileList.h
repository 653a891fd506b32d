#pragma once

#include <QStringList>

class QSettings;

// The most recently opened files, newest first, at most `capacity` of them. Opening a file
// that is already listed moves it to the front.
class RecentFileList {
public:
    explicit RecentFileList(int capacity);

    void Add(const QString& path);
    void Remove(int index);  // an index out of range does nothing
    const QStringList& Paths() const { return m_paths; }

    // Kept in the profile's "Recent File List" group as File1, File2, ...
    void Load(const QSettings& profile);
    void Save(QSettings& profile) const;

private:
    int m_capacity;
    QStringList m_paths;
};
