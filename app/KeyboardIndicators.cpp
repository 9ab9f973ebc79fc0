#include "app/KeyboardIndicators.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QStatusBar>
#include <QTimer>

namespace {

const QString kCaps = QStringLiteral("CAP");
const QString kNum = QStringLiteral("NUM");
const QString kScroll = QStringLiteral("SCRL");

void ShowState(QLabel* pane, const QString& text, std::optional<bool> on) {
    pane->setText(on.value_or(false) ? text : QString());
}

}  // namespace

CKeyboardIndicators::CKeyboardIndicators(QStatusBar* bar) : QObject(bar) {
    m_caps = AddPane(bar, kCaps);
    m_num = AddPane(bar, kNum);
    m_scroll = AddPane(bar, kScroll);
    // Lock keys change with key strokes in our windows, and anywhere while another
    // program has the keyboard; both end in an event the application sees.
    qApp->installEventFilter(this);
    Refresh();
}

QLabel* CKeyboardIndicators::AddPane(QStatusBar* bar, const QString& text) {
    auto* pane = new QLabel(bar);
    pane->setObjectName(text);
    pane->setAlignment(Qt::AlignCenter);
    pane->setFrameShape(QFrame::Panel);
    pane->setFrameShadow(QFrame::Sunken);
    // As wide as its text whether lit or not, so the panes never shift.
    pane->setFixedWidth(pane->fontMetrics().horizontalAdvance(text) + 12);
    bar->addPermanentWidget(pane);
    return pane;
}

void CKeyboardIndicators::Refresh() {
    m_bRefreshQueued = false;
    Show(QueryLockKeys());
}

void CKeyboardIndicators::Show(const LockKeyStates& states) {
    ShowState(m_caps, kCaps, states.caps);
    ShowState(m_num, kNum, states.num);
    ShowState(m_scroll, kScroll, states.scroll);
}

bool CKeyboardIndicators::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    const bool keyboard = type == QEvent::KeyRelease || type == QEvent::ApplicationStateChange ||
                          (type == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() >= Qt::Key_CapsLock &&
                           static_cast<QKeyEvent*>(event)->key() <= Qt::Key_ScrollLock);
    if (keyboard && !m_bRefreshQueued) {
        // After the event: the server has applied the key by then.
        m_bRefreshQueued = true;
        QTimer::singleShot(0, this, &CKeyboardIndicators::Refresh);
    }
    return QObject::eventFilter(watched, event);
}

// The X11 part comes last: Xlib's macros (None, Bool, KeyPress, ...) clash with
// Qt's names, so nothing of Qt's may follow its header.
#if defined(DORVANELLE_HAVE_XKB) && QT_CONFIG(xcb)
#define DORVANELLE_QUERY_XKB 1
#include <X11/XKBlib.h>

namespace {

// Keyboards number their LEDs differently; the indicator names are what XKB keeps.
std::optional<bool> NamedIndicator(Display* display, const char* name) {
    const Atom atom = XInternAtom(display, name, True);
    if (atom == 0) return std::nullopt;
    Bool on = False;
    if (!XkbGetNamedIndicator(display, atom, nullptr, &on, nullptr, nullptr)) return std::nullopt;
    return on != False;
}

}  // namespace
#endif

LockKeyStates CKeyboardIndicators::QueryLockKeys() {
    LockKeyStates states;
#ifdef DORVANELLE_QUERY_XKB
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (Display* display = x11 ? x11->display() : nullptr) {
        states.caps = NamedIndicator(display, "Caps Lock");
        states.num = NamedIndicator(display, "Num Lock");
        states.scroll = NamedIndicator(display, "Scroll Lock");
    }
#endif
    return states;
}
