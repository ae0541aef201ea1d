#include "gui/TargetSystemDialog.h"

#include "ui_TargetSystemDialog.h"

#include <QPushButton>

namespace qob::gui {

TargetSystemDialog::TargetSystemDialog(TargetSystemForm& form, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::TargetSystemDialog>()), form_(form) {
    ui_->setupUi(this);
    ui_->prefixList->setSpacing(4); // two-line entries must not run into each other
    setWindowTitle(kTargetSystemTitle);
    connect(ui_->prefixList, &QListWidget::currentRowChanged, this, [this](int row) {
        form_.selected = row;
        ui_->buttonBox->button(QDialogButtonBox::Ok)->setEnabled(row >= 0);
    });
    connect(ui_->prefixList, &QListWidget::itemDoubleClicked, this, [this] { ui_->buttonBox->accepted(); });
    connect(ui_->otherFolderButton, &QPushButton::clicked, this, [this] {
        if (form_.browse()) {
            refresh();
        }
    });
    connect(ui_->buttonBox, &QDialogButtonBox::accepted, this, [this] {
        chosen_ = form_.accept();
        accept();
    });
    connect(ui_->buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form_.load();
    refresh();
    resize(sizeHint().expandedTo(QSize(560, 320)));
}

TargetSystemDialog::~TargetSystemDialog() = default;

void TargetSystemDialog::refresh() {
    const QSignalBlocker block(ui_->prefixList);
    ui_->prefixList->clear();
    for (const TargetSystemEntry& entry : form_.entries()) {
        auto* item = new QListWidgetItem(QString::fromStdString(entry.title + "\n" + entry.detail));
        item->setToolTip(QString::fromStdString(entry.prefix.string()));
        QFont font = item->font();
        font.setBold(entry.holdsProfiles);
        item->setFont(font);
        ui_->prefixList->addItem(item);
    }
    ui_->prefixList->setCurrentRow(form_.selected);
    ui_->buttonBox->button(QDialogButtonBox::Ok)->setEnabled(form_.selected >= 0);
    if (form_.entries().empty()) {
        ui_->introLabel->setText("No Wine prefix was found. Pick the folder of the one in which Outlook runs "
                                 "with \"Other Folder...\".");
    }
}

} // namespace qob::gui
