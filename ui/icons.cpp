#include "ui/icons.h"

#include "catalog/library.h"

#include <QHash>
#include <QIconEngine>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <array>
#include <map>

// The icons are painted here instead of loaded: a plain Debian desktop may have no icon
// theme and no SVG image plugin, and painted shapes stay sharp at 16 and 32 pixels alike.
// Every shape is drawn on a 32 x 32 grid and scaled.

// The resources of a static library are registered by hand.
static void initIconResources()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(icons);
        return true;
    }();
    (void)registered;
}

namespace ui {

namespace {

using PaintFn = void (*)(QPainter&);

constexpr qreal Grid = 32.0;

class PaintedIconEngine : public QIconEngine
{
public:
    PaintedIconEngine(PaintFn normal, PaintFn selected) : m_normal(normal), m_selected(selected) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        const qreal dpr = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        painter->drawPixmap(rect, scaledPixmap(rect.size(), mode, state, dpr));
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return scaledPixmap(size, mode, state, 1.0);
    }

    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State /*state*/,
                         qreal scale) override
    {
        const QSize pixels = size * scale;
        if (pixels.isEmpty()) {
            return {};
        }
        // Views paint the same few icons thousands of times: keep each rendering.
        const QString key = QStringLiteral("%1x%2/%3")
                                .arg(pixels.width())
                                .arg(pixels.height())
                                .arg(static_cast<int>(mode));
        auto cached = m_cache.constFind(key);
        if (cached != m_cache.constEnd()) {
            return *cached;
        }
        QPixmap result = render(pixels, mode);
        result.setDevicePixelRatio(scale);
        m_cache.insert(key, result);
        return result;
    }

    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override
    {
        return {{16, 16}, {24, 24}, {32, 32}, {48, 48}, {64, 64}};
    }

    bool isNull() override { return false; }
    QString key() const override { return QStringLiteral("VellumarkPainted"); }
    QIconEngine* clone() const override { return new PaintedIconEngine(m_normal, m_selected); }

private:
    QPixmap render(const QSize& pixels, QIcon::Mode mode) const
    {
        QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter painter(&image);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.scale(pixels.width() / Grid, pixels.height() / Grid);
            const PaintFn fn = (mode == QIcon::Selected && m_selected) ? m_selected : m_normal;
            fn(painter);
        }
        if (mode == QIcon::Disabled) {
            for (int y = 0; y < image.height(); ++y) {
                auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
                for (int x = 0; x < image.width(); ++x) {
                    const QColor c = QColor::fromRgba(qUnpremultiply(line[x]));
                    const int g = qGray(c.rgb());
                    line[x] = qPremultiply(qRgba(g, g, g, c.alpha() / 2));
                }
            }
        }
        return QPixmap::fromImage(image);
    }

    PaintFn m_normal;
    PaintFn m_selected;
    QHash<QString, QPixmap> m_cache;
};

QIcon painted(PaintFn normal, PaintFn selected = nullptr)
{
    return QIcon(new PaintedIconEngine(normal, selected));
}

QPen outline(const QColor& colour, qreal width = 1.5)
{
    QPen pen(colour, width);
    pen.setJoinStyle(Qt::RoundJoin);
    pen.setCapStyle(Qt::RoundCap);
    return pen;
}

// --- shared shapes ---------------------------------------------------------------------

void sheet(QPainter& p, const QColor& fill, const QColor& edge)
{
    QPainterPath page;
    page.moveTo(6, 2);
    page.lineTo(20, 2);
    page.lineTo(26, 8);
    page.lineTo(26, 30);
    page.lineTo(6, 30);
    page.closeSubpath();
    p.setPen(outline(edge));
    p.setBrush(fill);
    p.drawPath(page);
    QPainterPath fold;
    fold.moveTo(20, 2);
    fold.lineTo(20, 8);
    fold.lineTo(26, 8);
    p.setBrush(fill.darker(115));
    p.drawPath(fold);
}

void textLines(QPainter& p, const QColor& colour, qreal left, qreal right, qreal top, int count)
{
    p.setPen(outline(colour, 2));
    for (int i = 0; i < count; ++i) {
        const qreal y = top + i * 4.5;
        p.drawLine(QPointF(left, y), QPointF(i == count - 1 ? (left + right) / 2 : right, y));
    }
}

void folderShape(QPainter& p, const QColor& fill)
{
    const QColor edge = fill.darker(170);
    p.setPen(outline(edge));
    p.setBrush(fill.darker(112));
    QPainterPath back;
    back.moveTo(2, 8);
    back.lineTo(2, 6);
    back.lineTo(4, 4);
    back.lineTo(12, 4);
    back.lineTo(14, 7);
    back.lineTo(29, 7);
    back.lineTo(30, 9);
    back.lineTo(30, 27);
    back.lineTo(2, 27);
    back.closeSubpath();
    p.drawPath(back);
    p.setBrush(fill);
    p.drawRoundedRect(QRectF(2, 11, 28, 16), 1.5, 1.5);
}

void openFolderShape(QPainter& p, const QColor& fill)
{
    const QColor edge = fill.darker(170);
    p.setPen(outline(edge));
    p.setBrush(fill.darker(112));
    QPainterPath back;
    back.moveTo(2, 27);
    back.lineTo(2, 6);
    back.lineTo(4, 4);
    back.lineTo(12, 4);
    back.lineTo(14, 7);
    back.lineTo(27, 7);
    back.lineTo(27, 12);
    p.drawPath(back);
    p.setBrush(QColor(0xfa, 0xfa, 0xf5));
    p.drawRect(QRectF(5, 9, 19, 10));
    QPainterPath flap;
    flap.moveTo(2, 27);
    flap.lineTo(8, 13);
    flap.lineTo(31, 13);
    flap.lineTo(25, 27);
    flap.closeSubpath();
    p.setBrush(fill);
    p.drawPath(flap);
}

void discShape(QPainter& p, const QPointF& centre, qreal radius)
{
    QRadialGradient shine(centre, radius, centre + QPointF(-radius / 3, -radius / 3));
    shine.setColorAt(0.0, QColor(0xff, 0xff, 0xff));
    shine.setColorAt(0.55, QColor(0xc9, 0xd6, 0xe8));
    shine.setColorAt(0.8, QColor(0xe6, 0xcf, 0xf0));
    shine.setColorAt(1.0, QColor(0x9f, 0xb3, 0xcc));
    p.setPen(outline(QColor(0x5a, 0x67, 0x78)));
    p.setBrush(shine);
    p.drawEllipse(centre, radius, radius);
    p.setBrush(QColor(0xd5, 0xdb, 0xe3));
    p.drawEllipse(centre, radius * 0.32, radius * 0.32);
    p.setBrush(Qt::white);
    p.setPen(outline(QColor(0x5a, 0x67, 0x78), 1.0));
    p.drawEllipse(centre, radius * 0.13, radius * 0.13);
}

void magnifierBadge(QPainter& p)
{
    p.setPen(outline(QColor(0x3a, 0x3a, 0x3a), 3.5));
    p.drawLine(QPointF(26.5, 26.5), QPointF(30.5, 30.5));
    p.setPen(outline(QColor(0x3a, 0x3a, 0x3a), 2));
    p.setBrush(QColor(0xdf, 0xf1, 0xff));
    p.drawEllipse(QPointF(22.5, 22.5), 5.5, 5.5);
}

void driveShape(QPainter& p, bool withDisc)
{
    if (withDisc) {
        p.save();
        p.setClipRect(QRectF(0, 0, 32, 15));
        discShape(p, QPointF(16, 15), 12);
        p.restore();
    }
    QLinearGradient body(0, 13, 0, 27);
    body.setColorAt(0, QColor(0xe4, 0xe7, 0xeb));
    body.setColorAt(1, QColor(0xa9, 0xaf, 0xb8));
    p.setPen(outline(QColor(0x55, 0x5c, 0x66)));
    p.setBrush(body);
    p.drawRoundedRect(QRectF(2, 14, 28, 13), 2, 2);
    p.setPen(outline(QColor(0x55, 0x5c, 0x66), 2));
    p.drawLine(QPointF(6, 19), QPointF(20, 19));
    p.setPen(Qt::NoPen);
    p.setBrush(withDisc ? QColor(0x2e, 0xc7, 0x40) : QColor(0x7d, 0x83, 0x8c));
    p.drawEllipse(QPointF(25, 22.5), 2, 2);
}

void boxShape(QPainter& p)
{
    const QColor edge(0x7a, 0x45, 0x12);
    p.setPen(outline(edge));
    p.setBrush(QColor(0xc9, 0x7b, 0x30));
    p.drawRect(QRectF(3, 7, 26, 6));
    p.setBrush(QColor(0xe8, 0x9b, 0x4c));
    p.drawRect(QRectF(4, 13, 24, 16));
    p.setPen(outline(edge, 2));
    p.drawLine(QPointF(12, 18), QPointF(20, 18));
}

void openBoxShape(QPainter& p)
{
    const QColor edge(0x7a, 0x45, 0x12);
    p.setPen(outline(edge));
    p.setBrush(QColor(0xc9, 0x7b, 0x30));
    QPainterPath left;
    left.moveTo(4, 13);
    left.lineTo(1, 6);
    left.lineTo(10, 6);
    left.lineTo(13, 13);
    p.drawPath(left);
    QPainterPath right;
    right.moveTo(28, 13);
    right.lineTo(31, 6);
    right.lineTo(22, 6);
    right.lineTo(19, 13);
    p.drawPath(right);
    p.save();
    p.setClipRect(QRectF(0, 0, 32, 14));
    discShape(p, QPointF(16, 14), 8);
    p.restore();
    p.setPen(outline(edge));
    p.setBrush(QColor(0xe8, 0x9b, 0x4c));
    p.drawRect(QRectF(4, 13, 24, 16));
}

// --- content tree ----------------------------------------------------------------------

void paintDisc(QPainter& p)
{
    discShape(p, QPointF(16, 16), 14);
}
void paintFolder(QPainter& p)
{
    folderShape(p, QColor(0xf2, 0xc2, 0x4a));
}
void paintOpenFolder(QPainter& p)
{
    openFolderShape(p, QColor(0xf2, 0xc2, 0x4a));
}

void paintProgram(QPainter& p)
{
    p.setPen(outline(QColor(0x25, 0x3f, 0x66)));
    p.setBrush(QColor(0xf4, 0xf7, 0xfb));
    p.drawRect(QRectF(2, 5, 28, 22));
    p.setBrush(QColor(0x2f, 0x6f, 0xd0));
    p.drawRect(QRectF(2, 5, 28, 6));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xe0, 0x45, 0x3a));
    p.drawRect(QRectF(6, 15, 7, 7));
    p.setBrush(QColor(0x3c, 0xa5, 0x4a));
    p.drawRect(QRectF(16, 15, 10, 3));
    p.drawRect(QRectF(16, 20, 7, 3));
}

void paintText(QPainter& p)
{
    sheet(p, QColor(0xff, 0xff, 0xff), QColor(0x6b, 0x72, 0x7c));
    textLines(p, QColor(0x80, 0x87, 0x90), 9, 23, 12, 4);
}

void paintArchive(QPainter& p)
{
    const QColor edge(0x6e, 0x4a, 0x1f);
    p.setPen(outline(edge));
    p.setBrush(QColor(0xd9, 0xb2, 0x7c));
    p.drawRoundedRect(QRectF(4, 3, 24, 26), 2, 2);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x4a, 0x32, 0x14));
    for (int i = 0; i < 5; ++i) {
        p.drawRect(QRectF(i % 2 == 0 ? 14 : 16, 4 + i * 3, 2, 2.5));
    }
    p.setBrush(QColor(0x8c, 0x95, 0xa0));
    p.setPen(outline(QColor(0x3a, 0x3f, 0x45), 1));
    p.drawRoundedRect(QRectF(12.5, 19, 7, 7), 1, 1);
}

void paintPicture(QPainter& p)
{
    p.setPen(outline(QColor(0x4a, 0x52, 0x5c)));
    p.setBrush(QColor(0x8e, 0xc9, 0xf2));
    p.drawRect(QRectF(2, 5, 28, 22));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xff, 0xd2, 0x3f));
    p.drawEllipse(QPointF(23, 11), 3, 3);
    QPainterPath hills;
    hills.moveTo(3, 26);
    hills.lineTo(11, 14);
    hills.lineTo(17, 21);
    hills.lineTo(21, 17);
    hills.lineTo(29, 26);
    hills.closeSubpath();
    p.setBrush(QColor(0x3f, 0x9b, 0x3a));
    p.drawPath(hills);
}

void paintSound(QPainter& p)
{
    const QColor ink(0x7b, 0x3f, 0xb5);
    p.setPen(outline(ink, 2.5));
    p.drawLine(QPointF(12, 24), QPointF(12, 6));
    p.drawLine(QPointF(26, 21), QPointF(26, 4));
    p.setPen(outline(ink, 4));
    p.drawLine(QPointF(12, 6), QPointF(26, 4));
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawEllipse(QPointF(8.5, 25), 4.5, 3.5);
    p.drawEllipse(QPointF(22.5, 22), 4.5, 3.5);
}

void paintOtherFile(QPainter& p)
{
    sheet(p, QColor(0xee, 0xf0, 0xf3), QColor(0x6b, 0x72, 0x7c));
}

void paintVideo(QPainter& p)
{
    p.setPen(outline(QColor(0x1e, 0x1e, 0x1e)));
    p.setBrush(QColor(0x33, 0x33, 0x38));
    p.drawRect(QRectF(4, 2, 24, 28));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    for (int i = 0; i < 5; ++i) {
        p.drawRect(QRectF(5.5, 4 + i * 5.5, 2.5, 3));
        p.drawRect(QRectF(24, 4 + i * 5.5, 2.5, 3));
    }
    p.setBrush(QColor(0x5c, 0xb3, 0xf0));
    p.drawRect(QRectF(10, 5, 12, 9));
    p.setBrush(QColor(0xf0, 0x9a, 0x3e));
    p.drawRect(QRectF(10, 18, 12, 9));
}

void paintRegistryScript(QPainter& p)
{
    sheet(p, QColor(0xff, 0xff, 0xff), QColor(0x6b, 0x72, 0x7c));
    p.setPen(outline(QColor(0x30, 0x30, 0x30), 1));
    p.setBrush(QColor(0xe0, 0x45, 0x3a));
    p.drawRect(QRectF(9, 12, 6, 6));
    p.setBrush(QColor(0x3c, 0xa5, 0x4a));
    p.drawRect(QRectF(16, 12, 6, 6));
    p.setBrush(QColor(0x2f, 0x6f, 0xd0));
    p.drawRect(QRectF(12.5, 20, 6, 6));
}

void paintFont(QPainter& p)
{
    sheet(p, QColor(0xff, 0xff, 0xff), QColor(0x6b, 0x72, 0x7c));
    p.setPen(outline(QColor(0xc6, 0x28, 0x28), 3));
    p.setBrush(Qt::NoBrush);
    QPainterPath letter;
    letter.moveTo(9, 27);
    letter.lineTo(16, 10);
    letter.lineTo(23, 27);
    p.drawPath(letter);
    p.drawLine(QPointF(12, 21), QPointF(20, 21));
}

void paintHelp(QPainter& p)
{
    p.setPen(outline(QColor(0x0d, 0x47, 0xa1)));
    p.setBrush(QColor(0x1e, 0x88, 0xe5));
    p.drawEllipse(QPointF(16, 16), 14, 14);
    p.setPen(outline(Qt::white, 3.5));
    p.setBrush(Qt::NoBrush);
    QPainterPath mark;
    mark.moveTo(11, 12);
    mark.cubicTo(11, 6, 21, 6, 21, 12);
    mark.cubicTo(21, 16, 16, 15.5, 16, 20);
    p.drawPath(mark);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(16, 25), 2.2, 2.2);
}

void paintWebPage(QPainter& p)
{
    p.setPen(outline(QColor(0x0b, 0x4f, 0x8a)));
    p.setBrush(QColor(0x4f, 0xa8, 0xe8));
    p.drawEllipse(QPointF(16, 16), 14, 14);
    p.setPen(outline(QColor(0xe8, 0xf4, 0xff), 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(16, 16), 6, 14);
    p.drawLine(QPointF(16, 2), QPointF(16, 30));
    p.drawLine(QPointF(2, 16), QPointF(30, 16));
    p.drawLine(QPointF(5, 9), QPointF(27, 9));
    p.drawLine(QPointF(5, 23), QPointF(27, 23));
}

void paintDocument(QPainter& p)
{
    sheet(p, QColor(0xff, 0xff, 0xff), QColor(0x6b, 0x72, 0x7c));
    textLines(p, QColor(0x9a, 0xa6, 0xb8), 17, 23, 12, 4);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x15, 0x65, 0xc0));
    p.drawRect(QRectF(3, 11, 12, 12));
    p.setPen(outline(Qt::white, 1.5));
    QPainterPath w;
    w.moveTo(5, 14);
    w.lineTo(7, 20.5);
    w.lineTo(9, 16);
    w.lineTo(11, 20.5);
    w.lineTo(13, 14);
    p.setBrush(Qt::NoBrush);
    p.drawPath(w);
}

// --- box tree and CD list --------------------------------------------------------------

void paintLibrary(QPainter& p)
{
    const QColor wood(0x8d, 0x5a, 0x2b);
    p.setPen(outline(wood.darker(150)));
    p.setBrush(wood);
    p.drawRect(QRectF(3, 2, 26, 28));
    p.setBrush(QColor(0xf3, 0xe6, 0xd0));
    p.drawRect(QRectF(6, 5, 20, 10));
    p.drawRect(QRectF(6, 17, 20, 10));
    p.setPen(Qt::NoPen);
    const std::array<QColor, 5> spines = {QColor(0xe0, 0x45, 0x3a), QColor(0x2f, 0x6f, 0xd0),
                                          QColor(0x3c, 0xa5, 0x4a), QColor(0xf2, 0xb0, 0x30),
                                          QColor(0x7b, 0x3f, 0xb5)};
    for (int i = 0; i < 5; ++i) {
        p.setBrush(spines[i]);
        p.drawRect(QRectF(7 + i * 3.5, 6, 2.5, 9));
        p.setBrush(spines[4 - i]);
        p.drawRect(QRectF(7 + i * 3.5, 18, 2.5, 9));
    }
}

void paintResults(QPainter& p)
{
    p.setPen(outline(QColor(0x3a, 0x3a, 0x3a), 5));
    p.drawLine(QPointF(20, 20), QPointF(28.5, 28.5));
    p.setPen(outline(QColor(0x3a, 0x3a, 0x3a), 2.5));
    p.setBrush(QColor(0xcf, 0xea, 0xff));
    p.drawEllipse(QPointF(13, 13), 9.5, 9.5);
    p.setPen(outline(Qt::white, 2));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(7, 7, 12, 12), 100 * 16, 70 * 16);
}

void paintCategory(QPainter& p)
{
    folderShape(p, QColor(0x5f, 0xbf, 0xb0));
}
void paintOpenCategory(QPainter& p)
{
    openFolderShape(p, QColor(0x5f, 0xbf, 0xb0));
}

void paintFoundFolder(QPainter& p)
{
    folderShape(p, QColor(0xf2, 0xc2, 0x4a));
    magnifierBadge(p);
}

void paintFoundCd(QPainter& p)
{
    discShape(p, QPointF(14, 14), 12.5);
    magnifierBadge(p);
}

void paintDriveWithDisc(QPainter& p)
{
    driveShape(p, true);
}
void paintDriveEmpty(QPainter& p)
{
    driveShape(p, false);
}

void paintApplication(QPainter& p)
{
    p.save();
    p.setClipRect(QRectF(0, 0, 32, 16));
    discShape(p, QPointF(16, 13), 11);
    p.restore();
    const QColor edge(0x7a, 0x45, 0x12);
    p.setPen(outline(edge));
    p.setBrush(QColor(0xe8, 0x9b, 0x4c));
    p.drawRoundedRect(QRectF(3, 15, 26, 15), 1.5, 1.5);
    p.setPen(outline(QColor(0xff, 0xf3, 0xe0), 2));
    p.drawLine(QPointF(9, 21), QPointF(23, 21));
    p.drawLine(QPointF(9, 25), QPointF(19, 25));
}

} // namespace

const QIcon& contentIcon(int iconClass)
{
    static const std::array<QIcon, 15> icons = {
        painted(paintDisc),           painted(paintFolder, paintOpenFolder),
        painted(paintOpenFolder),     painted(paintProgram),
        painted(paintText),           painted(paintArchive),
        painted(paintPicture),        painted(paintSound),
        painted(paintOtherFile),      painted(paintVideo),
        painted(paintRegistryScript), painted(paintFont),
        painted(paintHelp),           painted(paintWebPage),
        painted(paintDocument),
    };
    constexpr int OtherFile = 8;
    if (iconClass < 0 || iconClass >= static_cast<int>(icons.size())) {
        return icons[OtherFile];
    }
    return icons[iconClass];
}

const QIcon& boxTreeIcon(int kind)
{
    static const std::array<QIcon, 6> icons = {
        painted(paintLibrary),
        painted(boxShape, openBoxShape),
        painted(openBoxShape),
        painted(paintResults),
        painted(paintCategory, paintOpenCategory),
        painted(paintDriveWithDisc),
    };
    if (kind < 0 || kind >= static_cast<int>(icons.size())) {
        return icons[catalog::BoxNode::Box];
    }
    return icons[kind];
}

const QIcon& cdListIcon(int kind)
{
    static const QIcon record = painted(paintDisc);
    static const QIcon foundFolder = painted(paintFoundFolder);
    static const QIcon foundCd = painted(paintFoundCd);
    switch (kind) {
    case catalog::ListItem::Box:
        return boxTreeIcon(catalog::BoxNode::Box);
    case catalog::ListItem::FoundFolder:
        return foundFolder;
    case catalog::ListItem::FoundCd:
        return foundCd;
    default:
        break;
    }
    if (kind >= catalog::ListItem::FirstDrive) {
        return driveIcon(false);
    }
    return record;
}

const QIcon& driveIcon(bool discPresent)
{
    static const QIcon withDisc = painted(paintDriveWithDisc);
    static const QIcon empty = painted(paintDriveEmpty);
    return discPresent ? withDisc : empty;
}

const QIcon& applicationIcon()
{
    static const QIcon icon = painted(paintApplication);
    return icon;
}

QIcon commandIcon(Command command)
{
    struct Source
    {
        const char* themeName; // "" where the naming has none for the command
        const char* resource;
    };
    static const std::map<Command, Source> sources = {
        {Command::Find, {"edit-find", "find"}},
        {Command::Refresh, {"view-refresh", "refresh"}},
        {Command::ClearEmptyBoxes, {"edit-clear", "clear"}},
        {Command::NewCd, {"media-optical", "new-cd"}},
        {Command::NewBox, {"folder-new", "new-box"}},
        {Command::Import, {"", "import"}},
        {Command::Backup, {"document-save", "backup"}},
        {Command::Output, {"", "output"}},
        {Command::RebuildIcons, {"", "verify"}},
        {Command::Settings, {"preferences-system", "settings"}},
        {Command::About, {"help-about", "about"}},
        {Command::Exit, {"application-exit", "exit"}},
        {Command::Delete, {"edit-delete", "delete"}},
        {Command::Move, {"", "move"}},
        {Command::Rename, {"", "rename"}},
        {Command::OpenDoors, {"media-eject", "eject"}},
        {Command::CloseDoors, {"", "close-tray"}},
        {Command::Up, {"go-up", "up"}},
        {Command::LargeIcons, {"", "large-icons"}},
        {Command::SmallIcons, {"", "small-icons"}},
        {Command::List, {"", "list"}},
        {Command::Details, {"", "details"}},
    };
    initIconResources();
    const Source& source = sources.at(command);
    const QIcon own(QStringLiteral(":/commands/%1.svg").arg(QLatin1String(source.resource)));
    return *source.themeName == '\0' ? own : QIcon::fromTheme(QLatin1String(source.themeName), own);
}

} // namespace ui
