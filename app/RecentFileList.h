// The recent-file list of the File menu: at most four paths, newest first, kept in
// the settings under "Recent File List" as File1 .. File4.
#pragma once

#include <QString>
#include <QStringList>

class CRecentFileList {
public:
    static constexpr int kSize = 4;

    // Reads the list from the settings.
    void Load();
    // Writes it back; entries past the end are removed.
    void Save() const;

    // Puts `path` first, dropping an older entry of the same path and the oldest
    // entry when the list is full. False when `path` was first already.
    bool Add(const QString& path);
    void Remove(int index);

    const QStringList& Paths() const { return m_paths; }
    // The menu text of entry `index`: "&1 " and the path shortened to 30 characters.
    QString MenuText(int index) const;
    // `path` shortened to at most `limit` characters, keeping its file name.
    static QString Abbreviate(const QString& path, int limit);

private:
    QStringList m_paths;
};
