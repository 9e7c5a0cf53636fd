// Paints the viewer's bitmaps: the tool buttons (40 x 50, Previous/Next 20 x 50) in a normal and
// a highlighted state, the 64 x 16 exam-tree image strip, the 110 x 60 logo, the application icon
// and the splash picture. Run by the target `velmora_paint_resources`, which writes into
// resources/bitmaps/ of the source tree; the images are committed, so a build never needs it.
// Pure white (255, 255, 255) is the buttons' and the tree strip's transparency colour, so the
// painter never uses it for anything that must stay visible.
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QTransform>
#include <cmath>
#include <cstdio>
#include <functional>

namespace {

const QColor kTransparent(255, 255, 255);
const QColor kInk(236, 238, 240);
const QColor kInkHot(250, 250, 250);
const QColor kAccent(255, 196, 84);

QString g_out;

struct Look {
    QColor top, bottom, frame, ink, caption;
};
const Look kNormal { QColor(52, 57, 64), QColor(22, 24, 28), QColor(78, 84, 92), kInk,
    QColor(184, 190, 198) };
const Look kHot { QColor(38, 104, 160), QColor(16, 52, 86), QColor(104, 170, 226), kInkHot, kAccent };

using IconPainter = std::function<void(QPainter&, const QRectF&, const Look&)>;

void Save(const QImage& image, const QString& name)
{
    const QString path = g_out + "/" + name;
    if (!image.save(path))
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
}

QFont CaptionFont(int pixels, bool bold = false)
{
    QFont font("DejaVu Sans");
    font.setPixelSize(pixels);
    font.setBold(bold);
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}

// A button face: rounded body (drawn without antialiasing so the corners stay exactly the
// transparency colour), the icon in the upper part and the caption below it.
QImage Button(int width, const QString& caption, const IconPainter& icon, const Look& look)
{
    QImage image(width, 50, QImage::Format_RGB32);
    image.fill(kTransparent);
    QPainter p(&image);
    QLinearGradient body(0, 0, 0, 50);
    body.setColorAt(0, look.top);
    body.setColorAt(1, look.bottom);
    p.setPen(look.frame);
    p.setBrush(body);
    p.drawRoundedRect(QRectF(0, 0, width - 1, 49), 4, 4);
    p.setRenderHint(QPainter::Antialiasing);
    icon(p, QRectF(2, 3, width - 4, 31), look);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setPen(look.caption);
    p.setFont(CaptionFont(width < 30 ? 7 : 9));
    p.drawText(QRectF(0, 34, width, 14), Qt::AlignCenter, caption);
    return image;
}

QPen Stroke(const QColor& colour, qreal width = 2.0)
{
    QPen pen(colour, width);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    return pen;
}

void Arrowhead(QPainter& p, QPointF tip, qreal angleDegrees, qreal size, const QColor& colour)
{
    const qreal a = angleDegrees * M_PI / 180.0;
    const QPointF back(tip.x() - size * std::cos(a), tip.y() - size * std::sin(a));
    const QPointF side(-std::sin(a) * size * 0.55, std::cos(a) * size * 0.55);
    QPainterPath path;
    path.moveTo(tip);
    path.lineTo(back + side);
    path.lineTo(back - side);
    path.closeSubpath();
    p.fillPath(path, colour);
}

void Folder(QPainter& p, const QRectF& r, const Look& l)
{
    const QRectF body(r.center().x() - 12, r.center().y() - 7, 24, 17);
    QPainterPath tab;
    tab.moveTo(body.left(), body.top());
    tab.lineTo(body.left() + 2, body.top() - 4);
    tab.lineTo(body.left() + 10, body.top() - 4);
    tab.lineTo(body.left() + 12, body.top());
    p.setPen(Stroke(l.ink, 1.5));
    p.setBrush(QColor(214, 160, 64));
    p.drawPath(tab);
    p.drawRoundedRect(body, 2, 2);
}

void Document(QPainter& p, const QRectF& r, const Look& l)
{
    const QRectF page(r.center().x() - 9, r.top() + 1, 16, 21);
    QPainterPath path;
    path.moveTo(page.topLeft());
    path.lineTo(page.right() - 5, page.top());
    path.lineTo(page.right(), page.top() + 5);
    path.lineTo(page.bottomRight());
    path.lineTo(page.bottomLeft());
    path.closeSubpath();
    p.setPen(Stroke(l.ink, 1.5));
    p.setBrush(QColor(70, 78, 90));
    p.drawPath(path);
    // An arrow into the page: import.
    p.setPen(Stroke(l.caption, 2.2));
    p.drawLine(QPointF(page.center().x() + 10, page.bottom() + 6),
        QPointF(page.center().x() + 2, page.bottom() - 3));
    Arrowhead(p, QPointF(page.center().x() + 1, page.bottom() - 4), -130, 7, l.caption);
}

void Browse(QPainter& p, const QRectF& r, const Look& l)
{
    Folder(p, r.translated(-3, -1), l);
    // A magnifying glass over the folder: look for images.
    const QPointF c(r.center().x() + 6, r.center().y() + 4);
    p.setPen(Stroke(l.caption, 2.2));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(c, 5.5, 5.5);
    p.drawLine(c + QPointF(4, 4), c + QPointF(9, 9));
}

void WindowLevel(QPainter& p, const QRectF& r, const Look& l)
{
    const QPointF c = r.center();
    const qreal radius = 12;
    QLinearGradient ramp(c.x() - radius, 0, c.x() + radius, 0);
    ramp.setColorAt(0, QColor(8, 8, 8));
    ramp.setColorAt(1, QColor(246, 246, 246));
    p.setPen(Stroke(l.ink, 1.5));
    p.setBrush(ramp);
    p.drawEllipse(c, radius, radius);
    // Two arrows: drag horizontally and vertically.
    p.setPen(Stroke(l.caption, 1.5));
    p.drawLine(QPointF(c.x() - 17, c.y() + 12), QPointF(c.x() + 17, c.y() + 12));
}

void Invert(QPainter& p, const QRectF& r, const Look& l)
{
    const QRectF box(r.center().x() - 13, r.center().y() - 11, 26, 22);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(10, 10, 10));
    p.drawRect(QRectF(box.left(), box.top(), box.width() / 2, box.height()));
    p.setBrush(QColor(246, 246, 246));
    p.drawRect(QRectF(box.center().x(), box.top(), box.width() / 2, box.height()));
    p.setBrush(QColor(246, 246, 246));
    p.drawEllipse(QPointF(box.center().x() - 6.5, box.center().y()), 4, 4);
    p.setBrush(QColor(10, 10, 10));
    p.drawEllipse(QPointF(box.center().x() + 6.5, box.center().y()), 4, 4);
    p.setPen(Stroke(l.ink, 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawRect(box);
}

void Magnifier(QPainter& p, const QRectF& r, const Look& l, bool plus)
{
    const QPointF c(r.center().x() - 3, r.center().y() - 3);
    p.setPen(Stroke(l.ink, 2.5));
    p.setBrush(QColor(40, 60, 80, 160));
    p.drawEllipse(c, 9, 9);
    p.setPen(Stroke(l.ink, 4));
    p.drawLine(c + QPointF(7, 7), c + QPointF(13, 13));
    p.setPen(Stroke(l.caption, 2.5));
    p.drawLine(c + QPointF(-5, 0), c + QPointF(5, 0));
    if (plus)
        p.drawLine(c + QPointF(0, -5), c + QPointF(0, 5));
}

// A solid triangle and its outlined reflection across a dashed axis: the direction of a
// reflection at a glance.
void Reflection(QPainter& p, const QRectF& r, const Look& l, bool leftRight)
{
    p.save();
    p.translate(r.center());
    if (!leftRight)
        p.rotate(90);
    QPainterPath shape;
    shape.moveTo(-3, -10);
    shape.lineTo(-3, 10);
    shape.lineTo(-15, 10);
    shape.closeSubpath();
    p.setPen(Stroke(l.ink, 1.2));
    p.setBrush(QColor(96, 156, 206));
    p.drawPath(shape);
    QTransform mirror;
    mirror.scale(-1, 1);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(l.ink, 1.2, Qt::DotLine));
    p.drawPath(mirror.map(shape));
    p.setPen(QPen(l.caption, 1.2, Qt::DashLine));
    p.drawLine(QPointF(0, -13), QPointF(0, 13));
    p.setPen(Stroke(l.caption, 1.5));
    p.drawLine(QPointF(-8, -12), QPointF(8, -12));
    Arrowhead(p, QPointF(-11, -12), 180, 5, l.caption);
    Arrowhead(p, QPointF(11, -12), 0, 5, l.caption);
    p.restore();
}

void ReflectTopBottom(QPainter& p, const QRectF& r, const Look& l)
{
    Reflection(p, r, l, false);
}
void ReflectLeftRight(QPainter& p, const QRectF& r, const Look& l)
{
    Reflection(p, r, l, true);
}

void Cine(QPainter& p, const QRectF& r, const Look& l)
{
    const QRectF film(r.center().x() - 14, r.center().y() - 10, 28, 20);
    p.setPen(Stroke(l.ink, 1.2));
    p.setBrush(QColor(30, 30, 34));
    p.drawRect(film);
    p.setPen(Qt::NoPen);
    p.setBrush(l.ink);
    for (int k = 0; k < 5; ++k) {
        p.drawRect(QRectF(film.left() + 2 + k * 5.4, film.top() + 1.5, 3, 2.5));
        p.drawRect(QRectF(film.left() + 2 + k * 5.4, film.bottom() - 4, 3, 2.5));
    }
    QPainterPath play;
    play.moveTo(film.center().x() - 4, film.center().y() - 5);
    play.lineTo(film.center().x() + 6, film.center().y());
    play.lineTo(film.center().x() - 4, film.center().y() + 5);
    play.closeSubpath();
    p.fillPath(play, l.caption);
}

void Reset(QPainter& p, const QRectF& r, const Look& l)
{
    const QPointF c = r.center();
    p.setPen(Stroke(l.ink, 2.5));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(c.x() - 11, c.y() - 11, 22, 22), 100 * 16, 290 * 16);
    Arrowhead(p, QPointF(c.x() - 3, c.y() - 11), 180, 7, l.ink);
    p.setPen(l.caption);
    p.setFont(CaptionFont(9, true));
    p.drawText(QRectF(c.x() - 10, c.y() - 6, 20, 12), Qt::AlignCenter, "1:1");
}

void Tiles(QPainter& p, const QRectF& r, const Look& l, int count)
{
    const QRectF area(r.center().x() - 13, r.center().y() - 11, 26, 22);
    p.setPen(Stroke(l.ink, 1.2));
    p.setBrush(QColor(70, 110, 150));
    if (count == 1) {
        p.drawRect(area);
        return;
    }
    const qreal w = (area.width() - 2) / 2, h = (area.height() - 2) / 2;
    for (int row = 0; row < 2; ++row)
        for (int column = 0; column < 2; ++column)
            p.drawRect(QRectF(area.left() + column * (w + 2), area.top() + row * (h + 2), w, h));
}

void Step(QPainter& p, const QRectF& r, const Look& l, bool next)
{
    const QPointF c = r.center();
    QPainterPath triangle;
    const qreal s = next ? 1 : -1;
    triangle.moveTo(c.x() - 5 * s, c.y() - 8);
    triangle.lineTo(c.x() + 5 * s, c.y());
    triangle.lineTo(c.x() - 5 * s, c.y() + 8);
    triangle.closeSubpath();
    p.fillPath(triangle, l.ink);
}

void WholeList(QPainter& p, const QRectF& r, const Look& l)
{
    p.setPen(Stroke(l.ink, 2));
    for (int k = 0; k < 4; ++k) {
        const qreal y = r.top() + 6 + k * 6;
        p.drawPoint(QPointF(r.center().x() - 11, y));
        p.drawLine(QPointF(r.center().x() - 7, y), QPointF(r.center().x() + 12, y));
    }
}

void ApplyAll(QPainter& p, const QRectF& r, const Look& l)
{
    Tiles(p, r, l, 4);
    p.setPen(Stroke(l.caption, 2.5));
    p.drawLine(QPointF(r.center().x() - 6, r.center().y()), QPointF(r.center().x() - 1, r.center().y() + 5));
    p.drawLine(
        QPointF(r.center().x() - 1, r.center().y() + 5), QPointF(r.center().x() + 8, r.center().y() - 6));
}

void Ruler(QPainter& p, const QRectF& r, const Look& l)
{
    p.save();
    p.translate(r.center());
    p.rotate(-30);
    p.setPen(Stroke(l.ink, 1.2));
    p.setBrush(QColor(200, 170, 90));
    p.drawRect(QRectF(-15, -5, 30, 10));
    p.setPen(QPen(QColor(30, 30, 30), 1));
    for (int k = -12; k <= 12; k += 3)
        p.drawLine(QPointF(k, -5), QPointF(k, k % 6 == 0 ? 0 : -2));
    p.restore();
}

void Angle(QPainter& p, const QRectF& r, const Look& l)
{
    const QPointF vertex(r.left() + 8, r.bottom() - 4);
    p.setPen(Stroke(l.ink, 2));
    p.drawLine(vertex, QPointF(r.right() - 4, r.bottom() - 4));
    p.drawLine(vertex, QPointF(r.center().x() + 8, r.top() + 3));
    p.setPen(Stroke(l.caption, 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(vertex.x() - 10, vertex.y() - 10, 20, 20), 0, 62 * 16);
}

void TextTool(QPainter& p, const QRectF& r, const Look& l)
{
    QFont font("DejaVu Serif");
    font.setPixelSize(24);
    font.setBold(true);
    p.setFont(font);
    p.setPen(l.ink);
    p.drawText(r, Qt::AlignCenter, "T");
}

void ArrowTool(QPainter& p, const QRectF& r, const Look& l)
{
    p.setPen(Stroke(l.ink, 2.5));
    p.drawLine(QPointF(r.left() + 8, r.bottom() - 4), QPointF(r.right() - 10, r.top() + 8));
    Arrowhead(p, QPointF(r.right() - 6, r.top() + 4), -45, 10, l.ink);
}

void SelectTool(QPainter& p, const QRectF& r, const Look& l)
{
    p.setPen(QPen(l.caption, 1, Qt::DashLine));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(r.left() + 4, r.top() + 3, 22, 18));
    QPainterPath cursor;
    const QPointF t(r.center().x() + 2, r.center().y() - 4);
    cursor.moveTo(t);
    cursor.lineTo(t + QPointF(0, 16));
    cursor.lineTo(t + QPointF(4, 12));
    cursor.lineTo(t + QPointF(8, 18));
    cursor.lineTo(t + QPointF(10, 17));
    cursor.lineTo(t + QPointF(6, 11));
    cursor.lineTo(t + QPointF(11, 11));
    cursor.closeSubpath();
    p.setPen(Stroke(QColor(20, 20, 20), 1));
    p.setBrush(l.ink);
    p.drawPath(cursor);
}

void SaveDisk(QPainter& p, const QRectF& r, const Look& l)
{
    const QRectF disk(r.center().x() - 11, r.center().y() - 11, 22, 22);
    p.setPen(Stroke(l.ink, 1.5));
    p.setBrush(QColor(60, 90, 140));
    p.drawRoundedRect(disk, 2, 2);
    p.setBrush(QColor(220, 222, 226));
    p.drawRect(QRectF(disk.left() + 5, disk.top() + 1, 12, 7));
    p.drawRect(QRectF(disk.left() + 4, disk.top() + 12, 14, 9));
}

struct ButtonSpec {
    int hotId, normalId, width;
    const char* caption;
    IconPainter icon;
};

void PaintButtons()
{
    using namespace std::placeholders;
    const ButtonSpec buttons[] = {
        { 175, 174, 40, "Load", Document },
        { 173, 172, 40, "Browse", Browse },
        { 136, 135, 40, "W/L", WindowLevel },
        { 137, 138, 40, "Invert", Invert },
        { 150, 149, 40, "Zoom +",
            [](QPainter& p, const QRectF& r, const Look& l) { Magnifier(p, r, l, true); } },
        { 148, 147, 40, "Zoom -",
            [](QPainter& p, const QRectF& r, const Look& l) { Magnifier(p, r, l, false); } },
        { 152, 153, 40, "Flip", ReflectTopBottom },
        { 154, 151, 40, "Mirror", ReflectLeftRight },
        { 156, 155, 40, "Cine", Cine },
        { 158, 157, 40, "Reset", Reset },
        { 160, 161, 40, "1-Up", [](QPainter& p, const QRectF& r, const Look& l) { Tiles(p, r, l, 1); } },
        { 162, 159, 40, "4-Up", [](QPainter& p, const QRectF& r, const Look& l) { Tiles(p, r, l, 4); } },
        { 164, 163, 20, "Prev", [](QPainter& p, const QRectF& r, const Look& l) { Step(p, r, l, false); } },
        { 166, 165, 20, "Next", [](QPainter& p, const QRectF& r, const Look& l) { Step(p, r, l, true); } },
        { 177, 178, 40, "All", WholeList },
        { 180, 179, 40, "Apply", ApplyAll },
        { 134, 133, 40, "Ruler", Ruler },
        { 139, 140, 40, "Angle", Angle },
        { 146, 145, 40, "Text", TextTool },
        { 141, 142, 40, "Arrow", ArrowTool },
        { 144, 143, 40, "Select", SelectTool },
        { 131, 132, 40, "Save", SaveDisk },
    };
    for (const ButtonSpec& b : buttons) {
        Save(Button(b.width, b.caption, b.icon, kHot), QString("bitmap_%1.png").arg(b.hotId));
        Save(Button(b.width, b.caption, b.icon, kNormal), QString("bitmap_%1.png").arg(b.normalId));
    }
}

// Four 16 x 16 pictures on white (the mask colour): patient, study, series, image.
void PaintTreeStrip()
{
    QImage strip(64, 16, QImage::Format_RGB32);
    strip.fill(kTransparent);
    QPainter p(&strip);
    p.setRenderHint(QPainter::Antialiasing, false);
    // Patient: head and shoulders.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(232, 176, 120));
    p.drawEllipse(QRect(5, 1, 6, 6));
    p.setBrush(QColor(60, 120, 200));
    p.drawRoundedRect(QRect(2, 8, 12, 7), 3, 3);
    // Study: a folder.
    p.setBrush(QColor(224, 170, 60));
    p.drawRect(QRect(16 + 1, 3, 6, 2));
    p.drawRect(QRect(16 + 1, 5, 14, 9));
    p.setBrush(QColor(246, 204, 100));
    p.drawRect(QRect(16 + 2, 7, 12, 6));
    // Series: a stack of three slices.
    for (int k = 0; k < 3; ++k) {
        p.setBrush(QColor(40, 40, 48));
        p.setPen(QColor(150, 200, 230));
        p.drawRect(QRect(32 + 1 + k * 3, 1 + k * 3, 8, 8));
    }
    // Image: one slice with a round phantom.
    p.setPen(QColor(150, 200, 230));
    p.setBrush(QColor(20, 20, 24));
    p.drawRect(QRect(48 + 1, 1, 13, 13));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(170, 170, 170));
    p.drawEllipse(QRect(48 + 4, 4, 8, 8));
    p.setBrush(QColor(240, 240, 240));
    p.drawEllipse(QRect(48 + 6, 6, 3, 3));
    Save(strip, "bitmap_167.png");
}

void PaintWordmark(QPainter& p, const QRectF& r, int pixels)
{
    QFont font("DejaVu Sans");
    font.setPixelSize(pixels);
    font.setBold(true);
    font.setLetterSpacing(QFont::PercentageSpacing, 104);
    p.setFont(font);
    p.setPen(QColor(226, 232, 240));
    p.drawText(r, Qt::AlignCenter, "Velmora");
}

// A ring-shaped phantom in the colours of a windowed CT slice: the mark of the program.
void PaintMark(QPainter& p, const QPointF& c, qreal radius)
{
    QRadialGradient disc(c, radius);
    disc.setColorAt(0, QColor(200, 206, 214));
    disc.setColorAt(0.7, QColor(110, 118, 128));
    disc.setColorAt(1, QColor(60, 64, 70));
    p.setPen(QPen(QColor(255, 196, 84), radius * 0.14));
    p.setBrush(disc);
    p.drawEllipse(c, radius, radius);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(20, 22, 26));
    p.drawEllipse(c + QPointF(-radius * 0.32, -radius * 0.1), radius * 0.22, radius * 0.3);
    p.drawEllipse(c + QPointF(radius * 0.32, -radius * 0.1), radius * 0.22, radius * 0.3);
    p.setBrush(QColor(240, 240, 240));
    p.drawEllipse(c + QPointF(0, radius * 0.45), radius * 0.12, radius * 0.12);
}

void PaintLogo()
{
    QImage logo(110, 60, QImage::Format_RGB32);
    logo.fill(QColor(0, 0, 0));
    QPainter p(&logo);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    PaintMark(p, QPointF(17, 23), 12);
    PaintWordmark(p, QRectF(32, 10, 76, 26), 15);
    p.setFont(CaptionFont(9));
    p.setPen(QColor(150, 158, 168));
    p.drawText(QRectF(0, 42, 110, 14), Qt::AlignCenter, "DICOM Preview");
    Save(logo, "bitmap_170.png");
}

void PaintIcon()
{
    for (int size : { 32, 64, 128, 256 }) {
        QImage icon(size, size, QImage::Format_ARGB32);
        icon.fill(Qt::transparent);
        QPainter p(&icon);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(16, 18, 22));
        p.drawRoundedRect(QRectF(0, 0, size, size), size * 0.18, size * 0.18);
        PaintMark(p, QPointF(size / 2.0, size / 2.0), size * 0.36);
        Save(icon, QString("icon_128_%1.png").arg(size));
    }
}

void PaintSplash(const QString& path)
{
    // 331 x 195 dialog units at 6 x 13 base units.
    QImage splash(496, 316, QImage::Format_RGB888);
    QPainter p(&splash);
    QLinearGradient sky(0, 0, 0, 316);
    sky.setColorAt(0, QColor(24, 30, 40));
    sky.setColorAt(1, QColor(4, 5, 8));
    p.fillRect(splash.rect(), sky);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    PaintMark(p, QPointF(248, 110), 62);
    PaintWordmark(p, QRectF(0, 186, 496, 60), 44);
    p.setFont(CaptionFont(15));
    p.setPen(QColor(170, 178, 190));
    p.drawText(QRectF(0, 246, 496, 24), Qt::AlignCenter, "DICOM image preview");
    p.end();
    if (!splash.save(path, "BMP"))
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
}

// Every bitmap on black, three times enlarged, for a look at them all at once.
void PaintContactSheet(const QString& path)
{
    QImage sheet(1400, 700, QImage::Format_RGB32);
    sheet.fill(QColor(0, 0, 0));
    QPainter p(&sheet);
    int x = 4, y = 4, rowHeight = 0;
    const QStringList names = QDir(g_out).entryList({ "*.png" }, QDir::Files, QDir::Name);
    for (const QString& name : names) {
        QImage image(g_out + "/" + name);
        image = image.scaled(image.size() * 3);
        if (x + image.width() > sheet.width()) {
            x = 4;
            y += rowHeight + 4;
            rowHeight = 0;
        }
        p.drawImage(x, y, image);
        x += image.width() + 4;
        rowHeight = std::max(rowHeight, image.height());
    }
    p.end();
    sheet.save(path);
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: %s RESOURCES_FOLDER [CONTACT_SHEET.png]\n", argv[0]);
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    g_out = root + "/bitmaps";
    QDir().mkpath(g_out);
    PaintButtons();
    PaintTreeStrip();
    PaintLogo();
    PaintIcon();
    PaintSplash(root + "/splash.bmp");
    if (argc == 3)
        PaintContactSheet(QString::fromLocal8Bit(argv[2]));
    return 0;
}
