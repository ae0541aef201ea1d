#include "gui/TabChain.h"

#include <vector>

namespace qob::gui {

void setTabChain(std::initializer_list<QWidget*> widgets) {
    const std::vector<QWidget*> list(widgets);
    for (std::size_t i = 1; i < list.size(); ++i) {
        QWidget::setTabOrder(list[i - 1], list[i]);
    }
}

} // namespace qob::gui
