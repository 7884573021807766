#include "app/icons.h"

#include "catalogue/catalogue.h"

#include <QColor>
#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QString>

#include <array>

namespace vexa::app {

namespace {

// Short tile labels, one per category, in picker order.
constexpr std::array<const char*, catalogue::kCategoryCount> kTileLabels = {
    "视频", "音频", "HD",   "iPod", "iPh",  "PSP", "3GP",  "TV",   "XBox", "PMP", "MP4", "FLV",
    "iPad", "MPG",  "SWF",  "AVI",  "MKV",  "WMV", "ASF",  "安卓", "VOB",  "MTS", "MOD", "RM",
    "VCD",  "MOV",  "H264", "AVC",  "WMA",  "MP3", "WAV",  "手机", "平板", "电视", "盒子"};

QColor TileColour(int category)
{
    // Hues spread by the golden angle so neighbours never look alike.
    const int hue = (category * 137) % 360;
    return QColor::fromHsv(hue, 170, 205);
}

void DrawLabel(QPainter& p, const QRectF& box, const QString& text, int maxPixelSize)
{
    QFont font = p.font();
    font.setBold(true);
    int size = maxPixelSize;
    font.setPixelSize(size);
    while (size > 6 && QFontMetricsF(font).horizontalAdvance(text) > box.width()) {
        font.setPixelSize(--size);
    }
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(box, Qt::AlignCenter, text);
}

QPixmap Tile(int category, int side, bool filmStrip)
{
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    if (category < 0 || category >= catalogue::kCategoryCount)
        return pixmap;
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    const QRectF r(1, 1, side - 2, side - 2);
    const QColor base = TileColour(category);
    QLinearGradient gradient(r.topLeft(), r.bottomLeft());
    gradient.setColorAt(0, base.lighter(125));
    gradient.setColorAt(1, base.darker(125));
    p.setPen(QPen(base.darker(160), 1));
    p.setBrush(gradient);
    p.drawRoundedRect(r, side / 6.0, side / 6.0);
    if (filmStrip) {
        // Sprocket holes along both edges mark the format icons.
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 255, 255, 150));
        const qreal hole = side / 10.0;
        for (int i = 0; i < 4; ++i) {
            const qreal y = r.top() + side / 8.0 + i * (r.height() - side / 4.0) / 3.0 - hole / 2;
            p.drawRect(QRectF(r.left() + hole * 0.6, y, hole, hole));
            p.drawRect(QRectF(r.right() - hole * 1.6, y, hole, hole));
        }
    }
    const qreal inset = filmStrip ? side / 5.0 : side / 12.0;
    DrawLabel(p, r.adjusted(inset, 0, -inset, 0), QString::fromUtf8(kTileLabels[static_cast<size_t>(category)]),
              side * 2 / 5);
    return pixmap;
}

void DrawGlyph(QPainter& p, TCommandGlyph glyph, const QRectF& r, const QColor& colour)
{
    p.setPen(QPen(colour, r.width() / 9.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(colour);
    const QPointF c = r.center();
    const qreal w = r.width();
    switch (glyph) {
    case TCommandGlyph::Add:
        p.drawLine(QPointF(c.x(), r.top() + w * 0.2), QPointF(c.x(), r.bottom() - w * 0.2));
        p.drawLine(QPointF(r.left() + w * 0.2, c.y()), QPointF(r.right() - w * 0.2, c.y()));
        break;
    case TCommandGlyph::Start:
    case TCommandGlyph::Resume: {
        QPolygonF triangle;
        triangle << QPointF(r.left() + w * 0.3, r.top() + w * 0.2) << QPointF(r.right() - w * 0.2, c.y())
                 << QPointF(r.left() + w * 0.3, r.bottom() - w * 0.2);
        p.drawPolygon(triangle);
        if (glyph == TCommandGlyph::Resume)
            p.drawLine(QPointF(r.left() + w * 0.15, r.top() + w * 0.2),
                       QPointF(r.left() + w * 0.15, r.bottom() - w * 0.2));
        break;
    }
    case TCommandGlyph::Stop:
        p.drawRect(r.adjusted(w * 0.27, w * 0.27, -w * 0.27, -w * 0.27));
        break;
    case TCommandGlyph::Pause:
        p.drawRect(QRectF(r.left() + w * 0.27, r.top() + w * 0.22, w * 0.14, w * 0.56));
        p.drawRect(QRectF(r.right() - w * 0.41, r.top() + w * 0.22, w * 0.14, w * 0.56));
        break;
    case TCommandGlyph::Options:
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(c, w * 0.2, w * 0.2);
        for (int i = 0; i < 8; ++i) {
            p.save();
            p.translate(c);
            p.rotate(i * 45);
            p.drawLine(QPointF(0, w * 0.25), QPointF(0, w * 0.36));
            p.restore();
        }
        break;
    case TCommandGlyph::Remove:
        p.drawLine(r.topLeft() + QPointF(w * 0.28, w * 0.28), r.bottomRight() - QPointF(w * 0.28, w * 0.28));
        p.drawLine(QPointF(r.right() - w * 0.28, r.top() + w * 0.28),
                   QPointF(r.left() + w * 0.28, r.bottom() - w * 0.28));
        break;
    case TCommandGlyph::Rename:
        p.drawLine(QPointF(r.left() + w * 0.25, r.bottom() - w * 0.25),
                   QPointF(r.right() - w * 0.25, r.top() + w * 0.25));
        p.drawLine(QPointF(r.left() + w * 0.2, r.bottom() - w * 0.2),
                   QPointF(r.left() + w * 0.45, r.bottom() - w * 0.2));
        break;
    case TCommandGlyph::Clear:
        p.setBrush(Qt::NoBrush);
        p.drawRect(r.adjusted(w * 0.3, w * 0.32, -w * 0.3, -w * 0.18));
        p.drawLine(QPointF(r.left() + w * 0.22, r.top() + w * 0.25),
                   QPointF(r.right() - w * 0.22, r.top() + w * 0.25));
        break;
    case TCommandGlyph::Up:
    case TCommandGlyph::Down: {
        const qreal dir = glyph == TCommandGlyph::Up ? -1 : 1;
        p.drawLine(QPointF(c.x(), c.y() - dir * w * 0.3), QPointF(c.x(), c.y() + dir * w * 0.3));
        QPolygonF head;
        head << QPointF(c.x() - w * 0.2, c.y() + dir * w * 0.08) << QPointF(c.x(), c.y() + dir * w * 0.3)
             << QPointF(c.x() + w * 0.2, c.y() + dir * w * 0.08);
        p.drawPolyline(head);
        break;
    }
    }
}

QColor GlyphColour(TCommandGlyph glyph)
{
    switch (glyph) {
    case TCommandGlyph::Add: return QColor(40, 150, 60);
    case TCommandGlyph::Start:
    case TCommandGlyph::Resume: return QColor(30, 120, 200);
    case TCommandGlyph::Stop:
    case TCommandGlyph::Remove: return QColor(200, 50, 40);
    case TCommandGlyph::Pause: return QColor(220, 150, 20);
    default: return QColor(70, 80, 100);
    }
}

}  // namespace

QPixmap CategoryIcon(int category)
{
    return Tile(category, 48, false);
}

QPixmap FormatIcon(int category)
{
    return Tile(category, 32, true);
}

QPixmap CommandPicture(TCommandGlyph glyph, bool enabled)
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor colour = enabled ? GlyphColour(glyph) : QColor(165, 165, 165);
    p.setPen(Qt::NoPen);
    p.setBrush(enabled ? QColor(255, 255, 255, 210) : QColor(235, 235, 235, 160));
    p.drawEllipse(QRectF(1, 1, 30, 30));
    DrawGlyph(p, glyph, QRectF(2, 2, 28, 28), colour);
    return pixmap;
}

QIcon CommandIcon(TCommandGlyph glyph)
{
    QIcon icon;
    icon.addPixmap(CommandPicture(glyph, true), QIcon::Normal);
    icon.addPixmap(CommandPicture(glyph, false), QIcon::Disabled);
    return icon;
}

QPixmap LogoPicture(const QSize& size, bool withHint)
{
    QPixmap pixmap(size);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    QLinearGradient gradient(0, 0, 0, size.height());
    gradient.setColorAt(0, QColor(34, 58, 96));
    gradient.setColorAt(1, QColor(12, 22, 40));
    p.fillRect(pixmap.rect(), gradient);
    QFont font = p.font();
    font.setBold(true);
    font.setPixelSize(size.height() / 6);
    p.setFont(font);
    p.setPen(QColor(250, 250, 255));
    const QRectF top(0, size.height() * 0.18, size.width(), size.height() * 0.35);
    p.drawText(top, Qt::AlignCenter, QStringLiteral("Vexa"));
    font.setBold(false);
    font.setPixelSize(qMax(12, size.height() / 14));
    p.setFont(font);
    p.setPen(QColor(190, 210, 240));
    p.drawText(QRectF(0, size.height() * 0.52, size.width(), size.height() * 0.15), Qt::AlignCenter,
               QStringLiteral("全能视频格式转换器"));
    if (!withHint) {
        p.end();
        return pixmap;
    }
    font.setPixelSize(qMax(11, size.height() / 20));
    p.setFont(font);
    p.setPen(QColor(150, 170, 200));
    p.drawText(QRectF(0, size.height() * 0.7, size.width(), size.height() * 0.12), Qt::AlignCenter,
               QStringLiteral("点击“添加”加入要转换的视频或音频文件"));
    return pixmap;
}

}  // namespace vexa::app
