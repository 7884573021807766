#pragma once
// A drop-down list whose items show a picture, a title and a one-line
// caption under it. The closed box shows the chosen item the same way.
#include <QComboBox>
#include <QStyledItemDelegate>

namespace vexa::app {

class TOfficeItemDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    TOfficeItemDelegate(int itemHeight, bool showTitles, QObject* parent);
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    int itemHeight_;
    bool showTitles_;
};

class TOfficeComboBox : public QComboBox {
    Q_OBJECT
public:
    static constexpr int CaptionRole = Qt::UserRole + 1;

    // showTitles: the title line is drawn above the caption; without it the
    // caption alone stands beside the picture.
    TOfficeComboBox(int itemHeight, bool showTitles, QWidget* parent = nullptr);

    void addOfficeItem(const QPixmap& picture, const QString& title, const QString& caption);
    QString currentCaption() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool showTitles_;
};

}  // namespace vexa::app
