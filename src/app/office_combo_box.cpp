#include "app/office_combo_box.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QPainter>
#include <QStyle>
#include <QStylePainter>

namespace vexa::app {

namespace {

// Picture left, then title (bold) and caption stacked, or the caption alone.
void PaintItem(QPainter* p, const QRect& rect, const QPalette& palette, bool selected, const QIcon& icon,
               const QString& title, const QString& caption, bool showTitles, bool enabled)
{
    const QPixmap picture = icon.pixmap(icon.availableSizes().value(0, QSize(32, 32)),
                                        enabled ? QIcon::Normal : QIcon::Disabled);
    const QSize ps = picture.deviceIndependentSize().toSize();
    const int pictureSide = qMin(ps.height(), rect.height() - 2);
    const QRect pictureRect(rect.left() + 4, rect.top() + (rect.height() - pictureSide) / 2, pictureSide,
                            pictureSide);
    if (!picture.isNull())
        p->drawPixmap(pictureRect, picture);
    const QRect textRect = rect.adjusted(pictureRect.width() + 10, 1, -4, -1);
    const QColor textColour = enabled ? palette.color(selected ? QPalette::HighlightedText : QPalette::Text)
                                      : palette.color(QPalette::Disabled, QPalette::Text);
    p->setPen(textColour);
    QFont font = p->font();
    if (showTitles && !title.isEmpty()) {
        QFont bold = font;
        bold.setBold(true);
        p->setFont(bold);
        const QRect top(textRect.left(), textRect.top(), textRect.width(), textRect.height() / 2);
        p->drawText(top, Qt::AlignLeft | Qt::AlignBottom,
                    QFontMetrics(bold).elidedText(title, Qt::ElideRight, top.width()));
        p->setFont(font);
        QColor soft = textColour;
        if (!selected)
            soft.setAlpha(170);
        p->setPen(soft);
        const QRect bottom(textRect.left(), top.bottom() + 2, textRect.width(), textRect.height() / 2 - 2);
        p->drawText(bottom, Qt::AlignLeft | Qt::AlignTop,
                    QFontMetrics(font).elidedText(caption, Qt::ElideRight, bottom.width()));
    } else {
        p->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter,
                    QFontMetrics(font).elidedText(caption, Qt::ElideRight, textRect.width()));
    }
}

}  // namespace

TOfficeItemDelegate::TOfficeItemDelegate(int itemHeight, bool showTitles, QObject* parent)
    : QStyledItemDelegate(parent), itemHeight_(itemHeight), showTitles_(showTitles)
{
}

void TOfficeItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                const QModelIndex& index) const
{
    painter->save();
    const bool selected = option.state & QStyle::State_Selected;
    if (selected)
        painter->fillRect(option.rect, option.palette.highlight());
    else if (showTitles_)
        painter->fillRect(option.rect.adjusted(0, option.rect.height() - 1, 0, 0),
                          option.palette.color(QPalette::Mid));  // list lines
    PaintItem(painter, option.rect, option.palette, selected, index.data(Qt::DecorationRole).value<QIcon>(),
              index.data(Qt::DisplayRole).toString(), index.data(TOfficeComboBox::CaptionRole).toString(),
              showTitles_, option.state & QStyle::State_Enabled);
    painter->restore();
}

QSize TOfficeItemDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    return QSize(QStyledItemDelegate::sizeHint(option, index).width(), itemHeight_);
}

TOfficeComboBox::TOfficeComboBox(int itemHeight, bool showTitles, QWidget* parent)
    : QComboBox(parent), showTitles_(showTitles)
{
    setItemDelegate(new TOfficeItemDelegate(itemHeight, showTitles, this));
    setMaxVisibleItems(4);
    setEditable(false);
}

void TOfficeComboBox::addOfficeItem(const QPixmap& picture, const QString& title, const QString& caption)
{
    addItem(QIcon(picture), showTitles_ ? title : caption);
    setItemData(count() - 1, caption, CaptionRole);
}

QString TOfficeComboBox::currentCaption() const
{
    return currentData(CaptionRole).toString();
}

void TOfficeComboBox::paintEvent(QPaintEvent*)
{
    QStylePainter painter(this);
    QStyleOptionComboBox option;
    initStyleOption(&option);
    option.currentText.clear();
    option.currentIcon = QIcon();
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    if (currentIndex() < 0)
        return;
    const QRect field = style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
    PaintItem(&painter, field, palette(), false, itemIcon(currentIndex()), itemText(currentIndex()),
              currentCaption(), showTitles_, isEnabled());
}

}  // namespace vexa::app
