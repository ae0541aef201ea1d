#include "gui/DiscWindow.h"

#include "forms/EraseForm.h"
#include "gui/DiscRunner.h"
#include "gui/EraseDialog.h"
#include "gui/TabChain.h"
#include "ui_DiscWindow.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QStyle>
#include <QUrl>

namespace qob::gui {

namespace {
QString qs(const std::string& text) {
    return QString::fromStdString(text);
}
constexpr int kKeyRole = Qt::UserRole;
} // namespace

DiscWindow::DiscWindow(Dialogs& dialogs, disc::DiscEngine& engine, const std::string& handOver,
                       QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::DiscWindow>()), dialogs_(dialogs), engine_(engine),
      form_(dialogs, engine), runner_(new DiscRunner(this)) {
    ui_->setupUi(this);
    setWindowTitle(kDiscWindowCaption);
    buildMenus();
    auto* statusBar = new QStatusBar(this);
    statusBar->setObjectName("statusBar");
    static const char* const names[] = {"imageSizePanel", "fileCountPanel", "folderCountPanel"};
    for (std::size_t i = 0; i < panels_.size(); ++i) {
        panels_[i] = new QLabel(statusBar);
        panels_[i]->setObjectName(names[i]);
        statusBar->addWidget(panels_[i], i == 0 ? 1 : 0);
    }
    ui_->mainLayout->addWidget(statusBar);
    for (QWidget* view : {static_cast<QWidget*>(ui_->folderTree), static_cast<QWidget*>(ui_->fileList)}) {
        auto* area = static_cast<QAbstractItemView*>(view);
        area->viewport()->setAcceptDrops(true);
        area->viewport()->installEventFilter(this);
    }

    connect(ui_->folderTree, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) {
        form_.nodeClick(item->data(0, kKeyRole).toString().toStdString());
        refresh();
    });
    connect(ui_->fileList, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) {
        form_.rowClick(item->data(0, kKeyRole).toString().toStdString());
    });
    // An in-place edit ends: the engine decides, the refresh shows what it holds.
    auto renamed = [this](QTreeWidgetItem* item, Editing which) {
        if (refreshing_ || editing_ != which) {
            return;
        }
        editing_ = Editing::None;
        const std::string text = item->text(0).toStdString();
        // After the edit has let go of the item: the refresh rebuilds the views.
        QMetaObject::invokeMethod(
            this,
            [this, which, text] {
                if (which == Editing::Folder) {
                    form_.folderRenamed(text);
                } else {
                    form_.fileRenamed(text);
                }
                refresh();
            },
            Qt::QueuedConnection);
    };
    connect(ui_->folderTree, &QTreeWidget::itemChanged, this,
            [renamed](QTreeWidgetItem* item) { renamed(item, Editing::Folder); });
    connect(ui_->fileList, &QTreeWidget::itemChanged, this,
            [renamed](QTreeWidgetItem* item) { renamed(item, Editing::File); });
    connect(ui_->folderTree, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        popupFileMenu(DiscPopup::Tree, ui_->folderTree->viewport()->mapToGlobal(at));
    });
    connect(ui_->fileList, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        popupFileMenu(DiscPopup::List, ui_->fileList->viewport()->mapToGlobal(at));
    });
    connect(ui_->volumeIdEdit, &QLineEdit::textEdited, this, [this](const QString& text) {
        form_.volumeIdentifierChanged(text.toStdString());
        refresh();
    });
    connect(ui_->deviceList, qOverload<int>(&QComboBox::activated), this, [this](int index) {
        form_.deviceSelected(index);
        refresh();
    });
    connect(ui_->speedList, qOverload<int>(&QComboBox::activated), this,
            [this](int index) { form_.selectedSpeed = index; });
    connect(ui_->volumeTypeList, qOverload<int>(&QComboBox::activated), this,
            [this](int index) { form_.selectedVolumeType = index; });
    connect(ui_->useFileDatesBox, &QCheckBox::toggled, this,
            [this](bool on) { form_.useFileDatesClicked(on); });
    connect(ui_->autoVerifyBox, &QCheckBox::toggled, this, [this](bool on) { form_.autoVerify = on; });
    connect(ui_->mode2xaBox, &QCheckBox::toggled, this, [this](bool on) { form_.mode2xa = on; });
    connect(ui_->cacheImageBox, &QCheckBox::toggled, this, [this](bool on) { form_.cacheImage = on; });
    connect(ui_->testWriteBox, &QCheckBox::toggled, this, [this](bool on) { form_.testWrite = on; });
    connect(ui_->finalizeBox, &QCheckBox::toggled, this, [this](bool on) { form_.finalizeDisc = on; });
    connect(ui_->bufferProtectBox, &QCheckBox::toggled, this, [this](bool on) { form_.bufferProtect = on; });
    connect(ui_->discAtOnceBox, &QCheckBox::toggled, this, [this](bool on) { form_.discAtOnce = on; });
    connect(ui_->writeButton, &QPushButton::clicked, this, &DiscWindow::writeClicked);
    connect(ui_->cancelButton, &QPushButton::clicked, this, [this] {
        form_.cancelClick();
        refresh();
    });

    setTabChain({ui_->folderTree, ui_->fileList, ui_->volumeIdEdit, ui_->deviceList, ui_->speedList,
                 ui_->volumeTypeList, ui_->useFileDatesBox, ui_->autoVerifyBox, ui_->mode2xaBox,
                 ui_->cacheImageBox, ui_->testWriteBox, ui_->finalizeBox, ui_->bufferProtectBox,
                 ui_->discAtOnceBox, ui_->writeButton, ui_->cancelButton});
    // The name takes what is left; the size and the date are shown whole.
    QHeaderView* header = ui_->fileList->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    header->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    header->setSectionResizeMode(2, QHeaderView::ResizeToContents);

    loaded_ = form_.formLoad(handOver);
    refresh();
    resize(sizeHint().expandedTo(QSize(780, 600)));
}

DiscWindow::~DiscWindow() = default;

void DiscWindow::buildMenus() {
    auto* bar = new QMenuBar(this);
    bar->setObjectName("menuBar");
    ui_->mainLayout->setMenuBar(bar);
    fileMenu_ = bar->addMenu("&File");
    fileMenu_->setObjectName("fileMenu");
    auto add = [this](const char* name, const char* text, const QKeySequence& keys, auto slot) {
        QAction* action = fileMenu_->addAction(text);
        action->setObjectName(name);
        action->setShortcut(keys);
        connect(action, &QAction::triggered, this, slot);
        fileActions_.push_back(action);
    };
    auto separator = [this](const char* name) {
        QAction* action = fileMenu_->addSeparator();
        action->setObjectName(name);
        fileActions_.push_back(action);
    };
    add("addFileAction", "Add File", QKeySequence("Ctrl+A"), [this] {
        form_.addFileClick();
        refresh();
    });
    separator("fileSeparator0");
    add("clearAllAction", "Clear All Items", QKeySequence("Ctrl+C"), [this] {
        form_.clearAllClick();
        refresh();
    });
    separator("fileSeparator1");
    add("removeFolderAction", "Remove Folder", QKeySequence(), [this] {
        form_.removeFolderClick();
        refresh();
    });
    add("renameFolderAction", "Rename Folder", QKeySequence(), [this] {
        QTreeWidgetItem* item = ui_->folderTree->currentItem();
        if (form_.renameFolderClick() && item) {
            editing_ = Editing::Folder;
            ui_->folderTree->editItem(item, 0);
        }
    });
    add("removeFileAction", "Remove File", QKeySequence(), [this] {
        form_.removeFileClick();
        refresh();
    });
    add("renameFileAction", "Rename File", QKeySequence(), [this] {
        QTreeWidgetItem* item = ui_->fileList->currentItem();
        if (form_.renameFileClick() && item) {
            editing_ = Editing::File;
            ui_->fileList->editItem(item, 0);
        }
    });
    separator("fileSeparator4");
    add("exitAction", "Exit", QKeySequence("Ctrl+X"), [this] { reject(); });

    deviceMenu_ = bar->addMenu("&Device");
    deviceMenu_->setObjectName("deviceMenu");
    QAction* eject = deviceMenu_->addAction("Eject", this, [this] { form_.ejectClick(); });
    eject->setObjectName("ejectAction");
    eject->setShortcut(QKeySequence("Ctrl+J"));
    QAction* close = deviceMenu_->addAction("Close Tray", this, [this] { form_.closeTrayClick(); });
    close->setObjectName("closeTrayAction");
    close->setShortcut(QKeySequence("Ctrl+T"));
    deviceMenu_->addAction("Erase Disc...", this, &DiscWindow::eraseClicked)
        ->setObjectName("eraseDiscAction");
}

QAction* DiscWindow::fileMenuAction(DiscFileMenu entry) const {
    return fileActions_.at(static_cast<std::size_t>(entry));
}

void DiscWindow::popupFileMenu(DiscPopup popup, const QPoint& where, bool show) {
    for (int e = 0; e <= static_cast<int>(DiscFileMenu::Exit); ++e) {
        fileMenuAction(static_cast<DiscFileMenu>(e))
            ->setVisible(discMenuEntryShown(static_cast<DiscFileMenu>(e), popup));
    }
    if (show) {
        fileMenu_->exec(where);
    }
    for (QAction* action : fileActions_) {
        action->setVisible(true);
    }
}

void DiscWindow::dropPaths(const QStringList& paths, bool isFileList) {
    std::vector<std::string> list;
    for (const QString& path : paths) {
        list.push_back(path.toStdString());
    }
    form_.dropFiles(list, isFileList);
    refresh();
}

bool DiscWindow::eventFilter(QObject* watched, QEvent* event) {
    const bool ours = watched == ui_->folderTree->viewport() || watched == ui_->fileList->viewport();
    if (ours && (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove)) {
        auto* drag = static_cast<QDropEvent*>(event);
        if (form_.idle && drag->mimeData()->hasUrls()) {
            drag->acceptProposedAction();
        }
        return true;
    }
    if (ours && event->type() == QEvent::Drop) {
        auto* drop = static_cast<QDropEvent*>(event);
        QStringList paths;
        for (const QUrl& url : drop->mimeData()->urls()) {
            if (url.isLocalFile()) {
                paths << url.toLocalFile();
            }
        }
        dropPaths(paths, form_.idle && !paths.isEmpty());
        drop->acceptProposedAction();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void DiscWindow::refreshTree() {
    QTreeWidget* tree = ui_->folderTree;
    tree->clear();
    std::map<std::string, QTreeWidgetItem*> items;
    QTreeWidgetItem* selected = nullptr;
    for (const DiscTreeNode& node : form_.tree) {
        auto parent = items.find(node.parent);
        auto* item = parent == items.end() ? new QTreeWidgetItem(tree) : new QTreeWidgetItem(parent->second);
        item->setText(0, qs(node.text));
        item->setData(0, kKeyRole, qs(node.key));
        item->setIcon(
            0, style()->standardIcon(node.image == "CD" ? QStyle::SP_DriveCDIcon : QStyle::SP_DirClosedIcon));
        if (node.key != "\\") {
            item->setFlags(item->flags() | Qt::ItemIsEditable);
        }
        items[node.key] = item;
        if (node.key == form_.selectedNode) {
            selected = item;
        }
    }
    for (const std::string& key : form_.expanded) {
        if (auto it = items.find(key); it != items.end()) {
            it->second->setExpanded(true);
        }
    }
    if (selected) {
        tree->setCurrentItem(selected);
    }
}

void DiscWindow::refreshList() {
    QTreeWidget* list = ui_->fileList;
    list->clear();
    for (const DiscFileRow& row : form_.rows) {
        auto* item = new QTreeWidgetItem(list, {qs(row.name), qs(row.size), qs(row.date)});
        item->setData(0, kKeyRole, qs(row.key));
        item->setIcon(0, style()->standardIcon(QStyle::SP_FileIcon));
        item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        item->setFlags(item->flags() | Qt::ItemIsEditable);
        if (row.key == form_.selectedRow) {
            list->setCurrentItem(item);
        }
    }
}

void DiscWindow::refresh() {
    refreshing_ = true;
    refreshTree();
    refreshList();
    if (ui_->volumeIdEdit->text().toStdString() != form_.volumeIdentifier) {
        ui_->volumeIdEdit->setText(qs(form_.volumeIdentifier));
    }
    auto fill = [](QComboBox* box, const std::vector<DiscChoice>& choices, int selected) {
        const QSignalBlocker block(box);
        box->clear();
        for (const DiscChoice& choice : choices) {
            box->addItem(qs(choice.text), choice.value);
            if (!choice.enabled) {
                auto* model = qobject_cast<QStandardItemModel*>(box->model());
                model->item(box->count() - 1)->setEnabled(false);
            }
        }
        box->setCurrentIndex(selected);
    };
    fill(ui_->deviceList, form_.devices, form_.selectedDevice);
    fill(ui_->speedList, form_.speeds, form_.selectedSpeed);
    fill(ui_->volumeTypeList, form_.volumeTypes, form_.selectedVolumeType);
    const std::pair<QCheckBox*, bool> boxes[] = {{ui_->useFileDatesBox, form_.useFileDates},
                                                 {ui_->autoVerifyBox, form_.autoVerify},
                                                 {ui_->mode2xaBox, form_.mode2xa},
                                                 {ui_->cacheImageBox, form_.cacheImage},
                                                 {ui_->testWriteBox, form_.testWrite},
                                                 {ui_->finalizeBox, form_.finalizeDisc},
                                                 {ui_->bufferProtectBox, form_.bufferProtect},
                                                 {ui_->discAtOnceBox, form_.discAtOnce}};
    const bool idle = form_.idle && !runner_->running();
    for (const auto& [box, checked] : boxes) {
        const QSignalBlocker block(box);
        box->setChecked(checked);
        box->setEnabled(idle);
    }
    ui_->bufferProtectBox->setEnabled(idle && form_.bufferProtectEnabled);
    for (QWidget* input : std::initializer_list<QWidget*>{ui_->deviceList, ui_->speedList,
                                                          ui_->volumeTypeList, ui_->volumeIdEdit,
                                                          ui_->folderTree, ui_->fileList, ui_->writeButton}) {
        input->setEnabled(idle);
    }
    fileMenu_->setEnabled(idle);
    deviceMenu_->setEnabled(idle);
    ui_->cancelButton->setEnabled(!form_.idle);
    ui_->totalProgress->setValue(form_.progress);
    for (std::size_t i = 0; i < panels_.size(); ++i) {
        panels_[i]->setText(qs(form_.status[i]));
    }
    if (form_.busyCursor) {
        setCursor(Qt::WaitCursor);
    } else {
        unsetCursor();
    }
    refreshing_ = false;
}

void DiscWindow::writeClicked() {
    std::optional<DiscWriteJob> job = form_.writeDiscClick();
    refresh();
    if (!job) {
        return;
    }
    auto shared = std::make_shared<const DiscWriteJob>(std::move(*job));
    disc::DiscEngine& engine = engine_;
    const StopToken& stop = form_.stopToken();
    runner_->start(
        [&engine, &stop, shared](disc::DiscEvents& events) {
            return engine.write(shared->address, shared->image, shared->options, events, stop);
        },
        form_, [this] { refresh(); },
        [this](const Status& result) {
            form_.writeReturned(result);
            refresh();
        });
    refresh();
    ui_->cancelButton->setFocus(Qt::OtherFocusReason); // Space or Escape stops the write
}

void DiscWindow::eraseClicked() {
    const std::optional<std::string> address = form_.eraseDiscClick();
    if (!address) {
        return;
    }
    EraseForm form(dialogs_, engine_, *address);
    EraseDialog dialog(form, engine_, this);
    dialog.exec();
    form_.deviceSelected(form_.selectedDevice); // the medium may have changed
    refresh();
}

bool DiscWindow::closable() const {
    return form_.queryClose() && !runner_->running();
}

void DiscWindow::reject() {
    if (closable()) {
        QDialog::reject();
    } else if (form_.cancelAsked()) {
        // Escape is the Cancel of a running write, asked first; the window stays until it ends.
        refresh();
    }
}

void DiscWindow::closeEvent(QCloseEvent* event) {
    if (closable()) {
        event->accept();
    } else {
        event->ignore();
    }
}

} // namespace qob::gui
