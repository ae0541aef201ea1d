#pragma once
// One Tab order per window: the widgets given, in reading order, chained end to end. Without it,
// Tab runs in separate loops wherever a window moved its widgets after setup (the pages of a scroll
// area, a layout built in code), and some controls cannot be reached by keyboard at all.
#include <QWidget>

#include <initializer_list>

namespace qob::gui {

// Chains `widgets` in the order given; Tab from the last goes on to whatever followed it before
// (the window wraps round to the first).
void setTabChain(std::initializer_list<QWidget*> widgets);

} // namespace qob::gui
