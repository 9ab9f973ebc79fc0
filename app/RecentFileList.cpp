#include "app/RecentFileList.h"

#include <QFileInfo>
#include <QSettings>

#include "app/Settings.h"

void CRecentFileList::Load() {
    QSettings settings = OpenSettings();
    settings.beginGroup(QStringLiteral("Recent File List"));
    m_paths.clear();
    for (int i = 1; i <= kSize; ++i) {
        const QString path = settings.value(QStringLiteral("File%1").arg(i)).toString();
        if (!path.isEmpty()) m_paths.push_back(path);
    }
}

void CRecentFileList::Save() const {
    QSettings settings = OpenSettings();
    settings.beginGroup(QStringLiteral("Recent File List"));
    for (int i = 1; i <= kSize; ++i) {
        const QString key = QStringLiteral("File%1").arg(i);
        if (i <= m_paths.size()) {
            settings.setValue(key, m_paths[i - 1]);
        } else {
            settings.remove(key);
        }
    }
}

bool CRecentFileList::Add(const QString& path) {
    if (!m_paths.isEmpty() && m_paths.front() == path) return false;
    m_paths.removeAll(path);
    m_paths.prepend(path);
    while (m_paths.size() > kSize)
        m_paths.removeLast();
    return true;
}

void CRecentFileList::Remove(int index) {
    if (index >= 0 && index < m_paths.size()) m_paths.removeAt(index);
}

QString CRecentFileList::MenuText(int index) const {
    QString text = Abbreviate(m_paths.value(index), 30);
    text.replace(QLatin1Char('&'), QStringLiteral("&&"));
    return QStringLiteral("&%1 %2").arg(index + 1).arg(text);
}

QString CRecentFileList::Abbreviate(const QString& path, int limit) {
    if (path.size() <= limit) return path;
    const QString name = QFileInfo(path).fileName();
    if (name.size() + 4 >= limit) return name.left(limit);
    // Keep as much of the start as fits before ".../name".
    const qsizetype head = limit - name.size() - 4;
    return path.left(head) + QStringLiteral(".../") + name;
}
