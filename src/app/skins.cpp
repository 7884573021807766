#include "app/skins.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <array>

namespace vexa::app {

namespace {

struct TSkinColours {
    const char* name;
    const char* window;     // panels and dialogs
    const char* base;       // lists and edit boxes
    const char* text;
    const char* accent;     // selection, tab and focus
    const char* button;
};

const std::array<TSkinColours, kSkinCountUi> kSkins = {{
    {"土星战甲", "#e9e4d8", "#fbf8f1", "#2e2a22", "#b9893a", "#d8cfbc"},
    {"宇宙战甲", "#26293a", "#1c1e2b", "#e4e6f0", "#6c7bd8", "#3a3e56"},
    {"星河战甲", "#dde6f3", "#f7faff", "#1f2a3a", "#3f7fcf", "#c6d5ea"},
    {"银河战甲", "#e4e6e9", "#fafbfc", "#25282c", "#7a8896", "#cfd3d8"},
    {"金星战甲", "#f4ead2", "#fffaf0", "#3a2c10", "#d4a017", "#e8d7a8"},
    {"火星战甲", "#f1dcd6", "#fff6f3", "#3a1a14", "#c8462c", "#e2bcb2"},
    {"水星战甲", "#d8eef0", "#f3fcfd", "#123236", "#1f9aa8", "#b8dfe3"},
}};

}  // namespace

QString SkinName(int index)
{
    if (index < 0 || index >= kSkinCountUi)
        return {};
    return QString::fromUtf8(kSkins[static_cast<size_t>(index)].name);
}

QString SkinStyleSheet(int index)
{
    const TSkinColours& c = kSkins[static_cast<size_t>(index >= 0 && index < kSkinCountUi ? index : 0)];
    const QString sheet = QStringLiteral(
        "QMainWindow, QDialog, QTabWidget::pane, QGroupBox { background: %1; color: %3; }"
        "QWidget { color: %3; }"
        "QMenuBar { background: %5; color: %3; }"
        "QMenuBar::item:selected, QMenu::item:selected { background: %4; color: white; }"
        "QMenu { background: %2; color: %3; border: 1px solid %4; }"
        "QGroupBox { border: 1px solid %4; border-radius: 4px; margin-top: 14px; padding-top: 4px; }"
        "QGroupBox::title { subcontrol-origin: margin; left: 8px; padding: 0 3px; color: %3; }"
        "QTableView, QLineEdit, QListWidget, QPlainTextEdit { background: %2; color: %3;"
        " selection-background-color: %4; selection-color: white; border: 1px solid %5; }"
        "QHeaderView::section { background: %5; color: %3; border: 0; border-right: 1px solid %1;"
        " padding: 2px 4px; }"
        "QPushButton { background: %5; color: %3; border: 1px solid %4; border-radius: 3px;"
        " padding: 3px 10px; }"
        "QPushButton:hover { border-color: %3; }"
        "QPushButton:disabled { color: #9a9a9a; border-color: #b8b8b8; }"
        "QComboBox { background: %2; color: %3; border: 1px solid %4; border-radius: 3px; padding: 1px 6px;"
        " combobox-popup: 0; }"
        "QComboBox:disabled { color: #9a9a9a; background: %1; border-color: #b8b8b8; }"
        "QComboBox QAbstractItemView { background: %2; color: %3; selection-background-color: %4; }"
        "QTabBar::tab { background: %5; color: %3; padding: 4px 14px; border: 1px solid %4;"
        " border-bottom: 0; border-top-left-radius: 4px; border-top-right-radius: 4px; }"
        "QTabBar::tab:selected { background: %4; color: white; }"
        "QTabWidget::pane { border: 1px solid %4; }"
        "QSlider::groove:horizontal { height: 4px; background: %5; }"
        "QSlider::handle:horizontal { width: 10px; margin: -5px 0; background: %4; border-radius: 3px; }");
    return sheet.arg(QString::fromUtf8(c.window), QString::fromUtf8(c.base), QString::fromUtf8(c.text),
                     QString::fromUtf8(c.accent), QString::fromUtf8(c.button));
}

QString FixedStyleSheet()
{
    return QStringLiteral(
        "QToolBar { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #4a6a98, stop:1 #23395c);"
        " border: 0; spacing: 4px; padding: 2px; }"
        "QToolButton { color: white; background: transparent; border: 1px solid transparent;"
        " border-radius: 4px; padding: 2px 8px; }"
        "QToolButton:hover { border-color: #9db8e0; background: rgba(255,255,255,40); }"
        "QToolButton:disabled { color: #8fa0b8; }"
        "QComboBox { background: white; color: #1d2633; border: 1px solid #5d7fb0; border-radius: 3px;"
        " combobox-popup: 0; }"
        "QComboBox:disabled { background: #eceff3; color: #8a94a3; }"
        "QComboBox QAbstractItemView { background: white; color: #1d2633;"
        " selection-background-color: #cfe0f7; selection-color: #1d2633; }");
}

TSkinDialog::TSkinDialog(int current, QWidget* parent) : QDialog(parent), list_(new QListWidget(this))
{
    setWindowTitle(QStringLiteral("Select skin"));
    for (int i = 0; i < kSkinCountUi; ++i)
        list_->addItem(SkinName(i));
    list_->setCurrentRow(current >= 0 && current < kSkinCountUi ? current : 0);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("确定"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(list_, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_);
    layout->addWidget(buttons);
    resize(260, 240);
}

int TSkinDialog::chosenSkin() const
{
    return list_->currentRow();
}

}  // namespace vexa::app
