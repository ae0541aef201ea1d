#pragma once
// Walks a window's Tab chain as a keyboard user does, pressing Tab from the first control until
// the focus comes back, and says what is wrong with it: a control Tab never reaches, one reached
// twice (a loop inside the window), or a step that goes back up the window (not reading order).
#include <QApplication>
#include <QRadioButton>
#include <QWidget>
#include <QtTest>

namespace qob::test {

// What Tab should stop at in `window` now: shown, enabled, taking focus by Tab, and not handing
// its focus to another widget (a combo box's line edit, a tab widget's bar). Of a group of radio
// buttons only the chosen one is a stop; the arrow keys move within the group.
inline QList<QWidget*> tabStops(QWidget& window) {
    QList<QWidget*> stops;
    for (QWidget* w : window.findChildren<QWidget*>()) {
        const auto* radio = qobject_cast<QRadioButton*>(w);
        if (radio != nullptr && radio->autoExclusive() && !radio->isChecked()) {
            continue;
        }
        if (w->window() == &window && w->isVisible() && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus) &&
            w->focusProxy() == nullptr) {
            stops << w;
        }
    }
    return stops;
}

inline QString nameOf(const QWidget* w) {
    return w == nullptr
               ? QString("(none)")
               : (w->objectName().isEmpty() ? QString(w->metaObject()->className()) : w->objectName());
}

// "" when Tab from the first stop reaches every stop once, in reading order, and comes back;
// otherwise what went wrong.
inline QString tabChainFault(QWidget& window) {
    window.show();
    window.activateWindow();
    QApplication::setActiveWindow(&window);
    if (!QTest::qWaitForWindowActive(&window)) {
        return "the window did not become active";
    }
    const QList<QWidget*> stops = tabStops(window);
    if (stops.isEmpty()) {
        return "no control takes the focus";
    }
    // Start at the top-left stop.
    QWidget* first = stops.first();
    auto at = [&window](const QWidget* w) { return QRect(w->mapTo(&window, QPoint(0, 0)), w->size()); };
    for (QWidget* w : stops) {
        const QRect r = at(w), f = at(first);
        if (r.top() < f.top() || (r.top() == f.top() && r.left() < f.left())) {
            first = w;
        }
    }
    first->setFocus(Qt::TabFocusReason);
    QList<QWidget*> reached;
    for (int step = 0; step < 300; ++step) {
        QWidget* now = QApplication::focusWidget();
        if (now == nullptr) {
            return "the focus was lost after " + nameOf(reached.isEmpty() ? nullptr : reached.last());
        }
        if (!reached.isEmpty() && now == first) {
            break;
        }
        if (reached.contains(now)) {
            return "Tab loops back to " + nameOf(now) + " without reaching " + nameOf(first) + " again";
        }
        if (!reached.isEmpty()) {
            const QRect a = at(reached.last()), b = at(now);
            const bool sameRow = b.top() < a.bottom() && a.top() < b.bottom();
            if (sameRow ? b.left() < a.right() - 2 : b.top() < a.center().y()) {
                return "Tab goes back from " + nameOf(reached.last()) + " to " + nameOf(now);
            }
        }
        reached << now;
        QTest::keyClick(now, Qt::Key_Tab);
    }
    QStringList missing;
    for (QWidget* w : stops) {
        if (!reached.contains(w)) {
            missing << nameOf(w);
        }
    }
    QStringList extra;
    for (QWidget* w : reached) {
        if (!stops.contains(w)) {
            extra << nameOf(w);
        }
    }
    if (!missing.isEmpty() || !extra.isEmpty()) {
        return "never reached: " + missing.join(", ") + "; reached though not a stop: " + extra.join(", ");
    }
    return "";
}

} // namespace qob::test
