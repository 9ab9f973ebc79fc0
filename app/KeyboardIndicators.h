// The lock-key panes at the right of the status bar: "CAP", "NUM" and "SCRL",
// each showing its text while its lock is on and blank while it is off or while
// the platform cannot tell.
#pragma once

#include <optional>

#include <QObject>

class QLabel;
class QStatusBar;

struct LockKeyStates {
    std::optional<bool> caps;
    std::optional<bool> num;
    std::optional<bool> scroll;
};

class CKeyboardIndicators : public QObject {
    Q_OBJECT
public:
    // Adds the three panes to `bar` (which owns them and this object).
    explicit CKeyboardIndicators(QStatusBar* bar);

    // What the windowing system reports now; every state unset where it reports nothing.
    static LockKeyStates QueryLockKeys();
    // Reads the states and shows them.
    void Refresh();
    void Show(const LockKeyStates& states);

    QLabel* CapsPane() const { return m_caps; }
    QLabel* NumPane() const { return m_num; }
    QLabel* ScrollPane() const { return m_scroll; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLabel* AddPane(QStatusBar* bar, const QString& text);

    QLabel* m_caps = nullptr;
    QLabel* m_num = nullptr;
    QLabel* m_scroll = nullptr;
    bool m_bRefreshQueued = false;
};
