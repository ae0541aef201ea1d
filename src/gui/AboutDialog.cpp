#include "gui/AboutDialog.h"

#include "forms/AboutForm.h"
#include "gui/ProductIcon.h"
#include "gui/Skin.h"
#include "ui_AboutDialog.h"

namespace qob::gui {

namespace {
constexpr int kPictureSize = 96; // device-independent pixels
} // namespace

AboutDialog::AboutDialog(const std::string& mainCaption, const std::filesystem::path& programFolder,
                         QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::AboutDialog>()) {
    ui_->setupUi(this);
    const AboutForm form(mainCaption);
    setWindowTitle(QString::fromStdString(form.caption));
    ui_->productLabel->setText(QString::fromStdString(form.productLine));
    QFont bold = ui_->productLabel->font();
    bold.setBold(true);
    ui_->productLabel->setFont(bold);
    ui_->thanksLabel->setText(QString::fromStdString(form.thanks));
    ui_->noticeLabel->setText(QString::fromStdString(form.notice));
    const QIcon icon = productIcon();
    setWindowIcon(icon);
    // Drawn at the screen's own resolution, so the picture stays sharp at 200 %.
    ui_->pictureLabel->setPixmap(icon.pixmap(QSize(kPictureSize, kPictureSize), devicePixelRatioF()));
    applySkin(*this, programFolder);
    connect(ui_->exitButton, &QPushButton::clicked, this, &QDialog::accept);
}

AboutDialog::~AboutDialog() = default;

} // namespace qob::gui
