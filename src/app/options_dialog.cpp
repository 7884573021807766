#include "app/options_dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace vexa::app {

namespace {

QGroupBox* Frame(const QString& caption, QWidget* parent)
{
    auto* box = new QGroupBox(caption, parent);
    new QVBoxLayout(box);
    return box;
}

template <size_t N>
void AddExclusive(QGroupBox* frame, std::array<QRadioButton*, N>& buttons, const std::array<const char*, N>& captions)
{
    auto* group = new QButtonGroup(frame);
    for (size_t i = 0; i < N; ++i) {
        buttons[i] = new QRadioButton(QString::fromUtf8(captions[i]), frame);
        group->addButton(buttons[i]);
        frame->layout()->addWidget(buttons[i]);
    }
}

}  // namespace

TOptionsDialog::TOptionsDialog(const TSettingsLocation& location, QWidget* parent)
    : QDialog(parent), settings_(location), tabs_(new QTabWidget(this))
{
    setWindowTitle(QStringLiteral("选项"));
    setFixedSize(542, 550);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);

    // Tab "CPU设置".
    auto* cpu = new QWidget(tabs_);
    auto* cpuLayout = new QVBoxLayout(cpu);
    QGroupBox* priorityFrame = Frame(QStringLiteral("转换时CPU利用方式"), cpu);
    AddExclusive<4>(priorityFrame, priority_,
                    {"系统空闲时进行", "最低优先级进行", "较低优先级进行", "正常优先级进行"});
    cpuLayout->addWidget(priorityFrame);
    QGroupBox* paramFrame = Frame(QStringLiteral("转换参数"), cpu);
    paramFrame->layout()->addWidget(new QLabel(QStringLiteral("程序最大运行线程数--（同时进行转换的文件个数）"), paramFrame));
    threadCount_ = new QComboBox(paramFrame);
    for (int i = 1; i <= 19; ++i)
        threadCount_->addItem(QString::number(i));
    threadCount_->setMaximumWidth(120);
    paramFrame->layout()->addWidget(threadCount_);
    multiThread_ = new QCheckBox(QStringLiteral("启用多线程模式   （同时进行转换的视频个数）"), paramFrame);
    multiThread_->setChecked(true);
    multiThread_->setVisible(false);
    paramFrame->layout()->addWidget(multiThread_);
    connect(multiThread_, &QCheckBox::clicked, this, [this](bool on) { threadCount_->setEnabled(on); });
    preview_ = new QCheckBox(QStringLiteral("转换时进行实时视频预览"), paramFrame);
    paramFrame->layout()->addWidget(preview_);
    connect(preview_, &QCheckBox::toggled, this, &TOptionsDialog::previewChanged);
    cpuLayout->addWidget(paramFrame);
    cpuLayout->addStretch();
    tabs_->addTab(cpu, QStringLiteral("CPU设置"));

    // Tab "常规设置".
    auto* general = new QWidget(tabs_);
    auto* generalLayout = new QVBoxLayout(general);
    QGroupBox* doneFrame = Frame(QStringLiteral("转换工作完成后"), general);
    AddExclusive<4>(doneFrame, afterDone_,
                    {"自动打开输出文件夹", "自动关闭计算机", " 播放提示音乐", "不进行任何操作"});
    generalLayout->addWidget(doneFrame);
    QGroupBox* existsFrame = Frame(QStringLiteral("如果输出文件存在时"), general);
    std::array<QRadioButton*, 2> names{};
    AddExclusive<2>(existsFrame, names, {"直接覆盖输出文件", "自动重命名输出文件"});
    overwrite_ = names[0];
    rename_ = names[1];
    generalLayout->addWidget(existsFrame);
    generalLayout->addStretch();
    tabs_->addTab(general, QStringLiteral("常规设置"));

    auto* ok = new QPushButton(QStringLiteral("确定"), this);
    auto* cancel = new QPushButton(QStringLiteral("取消"), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &TOptionsDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &TOptionsDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs_);
    layout->addLayout(buttons);

    // Initial states, then the file's.
    setChoices(TConversionOptions{});
    tabs_->setCurrentIndex(0);
    readSettings();
}

void TOptionsDialog::readSettings()
{
    setChoices(settings_.ReadConversionOptions());
}

void TOptionsDialog::setChoices(const TConversionOptions& o)
{
    threadCount_->setCurrentIndex(o.ThreadCount - 1);
    afterDone_[static_cast<size_t>(o.AfterDone)]->setChecked(true);
    priority_[static_cast<size_t>(o.ThreadPriority)]->setChecked(true);
    (o.OverwriteFile ? overwrite_ : rename_)->setChecked(true);
    preview_->setChecked(o.ShowPreview);
}

TConversionOptions TOptionsDialog::choices() const
{
    TConversionOptions o;
    o.ThreadCount = threadCount();
    o.AfterDone = afterDone();
    o.ShowPreview = previewOn();
    o.ThreadPriority = threadPriority();
    o.OverwriteFile = overwriteOutput();
    return o;
}

int TOptionsDialog::threadCount() const
{
    bool ok = false;
    const int n = threadCount_->currentText().toInt(&ok);
    return ok && n > 0 ? n : 1;
}

QString TOptionsDialog::threadCountText() const
{
    return threadCount_->currentText();
}

bool TOptionsDialog::multiThread() const
{
    return multiThread_->isChecked();
}

TAfterDone TOptionsDialog::afterDone() const
{
    for (size_t i = 0; i < afterDone_.size(); ++i)
        if (afterDone_[i]->isChecked())
            return static_cast<TAfterDone>(i);
    return adNothing;
}

TThreadPriorityChoice TOptionsDialog::threadPriority() const
{
    // Tested from idle up; the last checked one wins.
    TThreadPriorityChoice choice = tpNormal;
    for (size_t i = 0; i < priority_.size(); ++i)
        if (priority_[i]->isChecked())
            choice = static_cast<TThreadPriorityChoice>(i);
    return choice;
}

bool TOptionsDialog::overwriteOutput() const
{
    return overwrite_->isChecked();
}

bool TOptionsDialog::previewOn() const
{
    return preview_->isChecked();
}

QRadioButton* TOptionsDialog::priorityButton(TThreadPriorityChoice choice) const
{
    return priority_[static_cast<size_t>(choice)];
}

QRadioButton* TOptionsDialog::afterDoneButton(TAfterDone choice) const
{
    return afterDone_[static_cast<size_t>(choice)];
}

QRadioButton* TOptionsDialog::overwriteButton(bool overwrite) const
{
    return overwrite ? overwrite_ : rename_;
}

void TOptionsDialog::accept()
{
    settings_.WriteConversionOptions(choices());
    QDialog::accept();
}

}  // namespace vexa::app
