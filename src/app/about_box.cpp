#include "app/about_box.h"

#include "app/icons.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace vexa::app {

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("关于软件"));
    auto* logo = new QLabel(this);
    logo->setPixmap(LogoPicture(QSize(360, 120), false));
    auto* name = new QLabel(QStringLiteral("Vexa全能视频格式转换器"), this);
    QFont bold = name->font();
    bold.setBold(true);
    bold.setPointSize(bold.pointSize() + 3);
    name->setFont(bold);
    auto* version = new QLabel(QStringLiteral("版本: ") + QStringLiteral(VEXA_VERSION), this);
    auto* web = new QLabel(QStringLiteral("网站: ") + QString::fromUtf8(kHomePageUrl), this);
    auto* mail = new QLabel(QStringLiteral("邮箱: support@vexa.example.org"), this);
    for (QLabel* label : {web, mail})
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* ok = new QPushButton(QStringLiteral("确定"), this);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(logo);
    for (QLabel* label : {name, version, web, mail})
        layout->addWidget(label);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    layout->addLayout(buttons);
    setFixedSize(sizeHint());
}

}  // namespace vexa::app
