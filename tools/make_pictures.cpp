// Draws the program's pictures: the background, the eight button faces, the rest picture,
// the shelf button's picture and the icon.
// Usage: make_pictures <output directory> [<icon directory>]
// With an icon directory, also writes the icon at the desktop's sizes there
// (pebblewick-<size>.png), for the installed menu entry.
#include <cstdio>

#include <QColor>
#include <QDir>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace {

// Button faces are drawn at this multiple of their size and scaled down, which gives
// smooth edges and crisp text at 70 x 60.
constexpr int kOversample = 4;
constexpr int kButtonWidth = 70;
constexpr int kButtonHeight = 60;
const QColor kBackgroundColour(254, 192, 255);

const QColor kSkin(255, 214, 170);
const QColor kInk(60, 40, 40);

bool WriteImage(const QImage& image, const QString& path, const char* format, int quality = -1) {
    QImageWriter writer(path, format);
    if (quality >= 0) writer.setQuality(quality);
    if (!writer.write(image)) {
        std::fprintf(stderr, "cannot write %s: %s\n", qPrintable(path), qPrintable(writer.errorString()));
        return false;
    }
    return true;
}

// A JPEG that decodes exactly to `colour` everywhere. The encoder's colour conversion
// may land a step off, so nearby input colours are tried until the decoded one matches.
bool WriteUniformJpeg(const QString& path, QSize size, QColor colour) {
    for (int radius = 0; radius <= 3; ++radius) {
        for (int dr = -radius; dr <= radius; ++dr) {
            for (int dg = -radius; dg <= radius; ++dg) {
                for (int db = -radius; db <= radius; ++db) {
                    const QColor input(qBound(0, colour.red() + dr, 255), qBound(0, colour.green() + dg, 255),
                                       qBound(0, colour.blue() + db, 255));
                    QImage image(size, QImage::Format_RGB32);
                    image.fill(input);
                    if (!WriteImage(image, path, "jpg", 100)) return false;
                    const QImage decoded(path);
                    bool exact = !decoded.isNull();
                    for (int y = 0; exact && y < decoded.height(); ++y)
                        for (int x = 0; exact && x < decoded.width(); ++x)
                            exact = decoded.pixel(x, y) == colour.rgb();
                    if (exact) return true;
                }
            }
        }
    }
    std::fprintf(stderr, "no JPEG input decodes to the background colour\n");
    return false;
}

QFont ChineseFont(qreal pixelSize) {
    QFont font(QStringLiteral("WenQuanYi Zen Hei"));
    font.setPixelSize(qRound(pixelSize));
    font.setBold(true);
    return font;
}

void SkyBackground(QPainter& p, QColor top, QColor bottom) {
    QLinearGradient sky(0, 0, 0, kButtonHeight);
    sky.setColorAt(0, top);
    sky.setColorAt(1, bottom);
    p.fillRect(QRectF(0, 0, kButtonWidth, kButtonHeight), sky);
}

void Ellipse(QPainter& p, QPointF centre, qreal rx, qreal ry, QColor fill, QColor outline = kInk, qreal width = 0.8) {
    p.setPen(outline.isValid() ? QPen(outline, width) : QPen(Qt::NoPen));
    p.setBrush(fill);
    p.drawEllipse(centre, rx, ry);
}

void Face(QPainter& p, QPointF c, qreal r) {
    p.setPen(Qt::NoPen);
    p.setBrush(kInk);
    p.drawEllipse(QPointF(c.x() - r * 0.38, c.y() - r * 0.1), r * 0.12, r * 0.15);
    p.drawEllipse(QPointF(c.x() + r * 0.38, c.y() - r * 0.1), r * 0.12, r * 0.15);
    p.setBrush(QColor(255, 150, 150, 160));
    p.drawEllipse(QPointF(c.x() - r * 0.62, c.y() + r * 0.25), r * 0.17, r * 0.11);
    p.drawEllipse(QPointF(c.x() + r * 0.62, c.y() + r * 0.25), r * 0.17, r * 0.11);
    p.setPen(QPen(kInk, r * 0.1, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(c.x() - r * 0.35, c.y() - r * 0.05, r * 0.7, r * 0.5), 200 * 16, 140 * 16);
}

// A child's head with hair; `c` is the head's centre.
void ChildHead(QPainter& p, QPointF c, qreal r, QColor hair) {
    Ellipse(p, c, r, r, kSkin);
    QPainterPath cap;
    cap.moveTo(c.x() - r, c.y());
    cap.arcTo(QRectF(c.x() - r, c.y() - r, 2 * r, 2 * r), 180, -180);
    cap.quadTo(c.x() + r * 0.3, c.y() - r * 0.65, c.x() - r * 0.2, c.y() - r * 0.35);
    cap.quadTo(c.x() - r * 0.7, c.y() - r * 0.2, c.x() - r, c.y());
    p.setPen(QPen(kInk, 0.8));
    p.setBrush(hair);
    p.drawPath(cap);
    Face(p, QPointF(c.x(), c.y() + r * 0.15), r);
}

void Body(QPainter& p, QRectF rect, QColor shirt) {
    p.setPen(QPen(kInk, 0.8));
    p.setBrush(shirt);
    p.drawRoundedRect(rect, rect.width() * 0.3, rect.width() * 0.3);
}

void Star(QPainter& p, QPointF c, qreal r, QColor fill) {
    QPolygonF star;
    for (int i = 0; i < 10; ++i) {
        const qreal angle = -M_PI / 2 + i * M_PI / 5;
        const qreal k = i % 2 == 0 ? r : r * 0.45;
        star << QPointF(c.x() + k * std::cos(angle), c.y() + k * std::sin(angle));
    }
    p.setPen(QPen(QColor(200, 120, 0), 0.6));
    p.setBrush(fill);
    p.drawPolygon(star);
}

void Note(QPainter& p, QPointF c, QColor colour) {
    p.setPen(QPen(colour, 1.2));
    p.setBrush(colour);
    p.drawEllipse(c, 2.2, 1.7);
    p.drawLine(QPointF(c.x() + 2.0, c.y()), QPointF(c.x() + 2.0, c.y() - 7));
    p.drawLine(QPointF(c.x() + 2.0, c.y() - 7), QPointF(c.x() + 5.0, c.y() - 5));
}

// The caption under a child: white-edged coloured characters.
void Caption(QPainter& p, const QString& text, QColor colour) {
    QPainterPath path;
    const QFont font = ChineseFont(15);
    path.addText(0, 0, font, text);
    const QRectF box = path.boundingRect();
    path.translate((kButtonWidth - 3 - box.width()) / 2 - box.left(), kButtonHeight - 3 - box.bottom());
    p.setPen(QPen(Qt::white, 2.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPath(path);
}

void Button1(QPainter& p) {  // a costumed figure in blue
    SkyBackground(p, QColor(255, 250, 200), QColor(255, 220, 130));
    Star(p, QPointF(10, 12), 6, QColor(255, 240, 90));
    Star(p, QPointF(57, 48), 5, QColor(255, 240, 90));
    // cape
    QPainterPath cape;
    cape.moveTo(27, 30);
    cape.lineTo(43, 30);
    cape.lineTo(50, 55);
    cape.quadTo(35, 50, 20, 55);
    cape.closeSubpath();
    p.setPen(QPen(kInk, 0.8));
    p.setBrush(QColor(230, 40, 60));
    p.drawPath(cape);
    // suit and arms raised
    p.setPen(QPen(kInk, 0.8));
    p.setBrush(QColor(40, 110, 230));
    p.drawRoundedRect(QRectF(27, 28, 16, 22), 6, 6);
    p.save();
    p.translate(28, 32);
    p.rotate(40);
    p.drawRoundedRect(QRectF(-14, -3, 14, 6), 3, 3);
    p.restore();
    p.save();
    p.translate(42, 32);
    p.rotate(-40);
    p.drawRoundedRect(QRectF(0, -3, 14, 6), 3, 3);
    p.restore();
    Ellipse(p, QPointF(17, 22), 3.2, 3.2, kSkin);
    Ellipse(p, QPointF(53, 22), 3.2, 3.2, kSkin);
    // legs and boots
    p.setBrush(QColor(40, 110, 230));
    p.drawRect(QRectF(29, 48, 5, 6));
    p.drawRect(QRectF(36, 48, 5, 6));
    p.setBrush(QColor(230, 40, 60));
    p.drawRoundedRect(QRectF(27.5, 53, 7.5, 4), 2, 2);
    p.drawRoundedRect(QRectF(35.5, 53, 7.5, 4), 2, 2);
    // hooded head with ears and a mask
    p.setBrush(QColor(40, 110, 230));
    p.drawPolygon(QPolygonF({QPointF(26, 14), QPointF(27, 3), QPointF(32, 10)}));
    p.drawPolygon(QPolygonF({QPointF(44, 14), QPointF(43, 3), QPointF(38, 10)}));
    Ellipse(p, QPointF(35, 17), 10, 10, QColor(40, 110, 230));
    Ellipse(p, QPointF(35, 19.5), 7, 6.5, kSkin);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(20, 50, 140));
    p.drawRoundedRect(QRectF(28.5, 15.5, 13, 4), 2, 2);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(32, 17.5), 1.6, 1.3);
    p.drawEllipse(QPointF(38, 17.5), 1.6, 1.3);
    p.setPen(QPen(kInk, 0.8, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(32, 19.5, 6, 4), 200 * 16, 140 * 16);
    Star(p, QPointF(35, 37), 4, QColor(255, 230, 60));
}

void CostumedKid(QPainter& p, QPointF c, QColor suit, int ears) {
    p.setPen(QPen(kInk, 0.7));
    p.setBrush(suit);
    // body
    p.drawRoundedRect(QRectF(c.x() - 6, c.y() + 6, 12, 15), 5, 5);
    // ears or antenna on the hood
    if (ears == 0) {
        p.drawLine(QPointF(c.x(), c.y() - 7), QPointF(c.x(), c.y() - 12));
        Ellipse(p, QPointF(c.x(), c.y() - 13), 2, 2, suit.lighter(130), kInk, 0.7);
    } else if (ears == 1) {
        p.drawEllipse(QPointF(c.x() - 5, c.y() - 7), 2.5, 3);
        p.drawEllipse(QPointF(c.x() + 5, c.y() - 7), 2.5, 3);
    } else if (ears == 2) {
        p.drawPolygon(QPolygonF({QPointF(c.x() - 7, c.y() - 3), QPointF(c.x() - 5, c.y() - 12), QPointF(c.x() - 1, c.y() - 6)}));
        p.drawPolygon(QPolygonF({QPointF(c.x() + 7, c.y() - 3), QPointF(c.x() + 5, c.y() - 12), QPointF(c.x() + 1, c.y() - 6)}));
    } else {
        QPainterPath curl;
        curl.moveTo(c.x(), c.y() - 7);
        curl.cubicTo(c.x() - 4, c.y() - 14, c.x() + 5, c.y() - 15, c.x() + 2, c.y() - 10);
        p.setBrush(Qt::NoBrush);
        p.drawPath(curl);
        p.setBrush(suit);
    }
    Ellipse(p, c, 8, 8, suit, kInk, 0.7);
    Ellipse(p, QPointF(c.x(), c.y() + 1), 5.5, 5, kSkin, kInk, 0.5);
    Face(p, QPointF(c.x(), c.y() + 1.5), 4.5);
    // tummy patch
    Ellipse(p, QPointF(c.x(), c.y() + 14), 3.5, 3.5, suit.lighter(150), Qt::transparent);
}

void Button2(QPainter& p) {  // four costumed figures
    SkyBackground(p, QColor(170, 225, 255), QColor(200, 255, 190));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(120, 210, 100));
    p.drawEllipse(QPointF(35, 66), 50, 16);
    CostumedKid(p, QPointF(10, 31), QColor(160, 90, 220), 0);
    CostumedKid(p, QPointF(26, 27), QColor(60, 190, 80), 1);
    CostumedKid(p, QPointF(42, 31), QColor(255, 215, 40), 2);
    CostumedKid(p, QPointF(57, 27), QColor(240, 70, 70), 3);
}

void Button3(QPainter& p) {  // a cartoon building-site vehicle
    SkyBackground(p, QColor(150, 215, 255), QColor(225, 245, 255));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(200, 150, 90));
    p.drawRect(QRectF(0, 50, kButtonWidth, 10));
    p.setBrush(QColor(170, 120, 70));
    p.drawEllipse(QPointF(58, 52), 9, 5);
    Ellipse(p, QPointF(12, 10), 6, 6, QColor(255, 230, 80), Qt::transparent);
    const QColor yellow(255, 200, 30);
    // arm and bucket
    p.setPen(QPen(kInk, 0.8));
    p.setBrush(yellow);
    p.save();
    p.translate(38, 28);
    p.rotate(-30);
    p.drawRoundedRect(QRectF(0, -2.5, 20, 5), 2, 2);
    p.restore();
    p.save();
    p.translate(55, 18);
    p.rotate(60);
    p.drawRoundedRect(QRectF(0, -2.2, 18, 4.4), 2, 2);
    p.restore();
    QPainterPath bucket;
    bucket.moveTo(56, 33);
    bucket.lineTo(66, 36);
    bucket.quadTo(66, 46, 58, 45);
    bucket.closeSubpath();
    p.setBrush(QColor(120, 120, 130));
    p.drawPath(bucket);
    // body and cab
    p.setBrush(yellow);
    p.drawRoundedRect(QRectF(8, 30, 34, 12), 3, 3);
    p.drawRoundedRect(QRectF(12, 16, 18, 16), 3, 3);
    p.setBrush(QColor(190, 235, 255));
    p.drawRoundedRect(QRectF(15, 19, 12, 9), 2, 2);
    // the digger's cheerful eyes in the window
    Ellipse(p, QPointF(18.5, 23.5), 2, 2.4, Qt::white, kInk, 0.5);
    Ellipse(p, QPointF(23.5, 23.5), 2, 2.4, Qt::white, kInk, 0.5);
    Ellipse(p, QPointF(19, 24), 0.9, 1.1, kInk, Qt::transparent);
    Ellipse(p, QPointF(24, 24), 0.9, 1.1, kInk, Qt::transparent);
    p.setPen(QPen(kInk, 0.9, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(QRectF(22, 33, 10, 5), 200 * 16, 140 * 16);
    // tracks
    p.setPen(QPen(kInk, 0.8));
    p.setBrush(QColor(70, 70, 80));
    p.drawRoundedRect(QRectF(5, 41, 40, 10), 5, 5);
    for (qreal x : {10.0, 18.0, 26.0, 34.0, 40.0})
        Ellipse(p, QPointF(x, 46), 3, 3, QColor(170, 170, 180), kInk, 0.5);
}

void Button4(QPainter& p) {  // a plush rabbit
    SkyBackground(p, QColor(255, 230, 240), QColor(230, 210, 255));
    for (auto [x, y] : {std::pair{8.0, 50.0}, {60.0, 12.0}, {10.0, 12.0}}) Ellipse(p, QPointF(x, y), 3, 3, QColor(255, 255, 255, 200), Qt::transparent);
    const QColor fur(250, 245, 240);
    const QColor pink(255, 170, 200);
    // ears
    p.save();
    p.translate(28, 16);
    p.rotate(-12);
    Ellipse(p, QPointF(0, -6), 4.5, 11, fur);
    Ellipse(p, QPointF(0, -6), 2.2, 8, pink, Qt::transparent);
    p.restore();
    p.save();
    p.translate(42, 16);
    p.rotate(15);
    Ellipse(p, QPointF(0, -6), 4.5, 11, fur);
    Ellipse(p, QPointF(0, -6), 2.2, 8, pink, Qt::transparent);
    p.restore();
    // body, feet, paws
    Ellipse(p, QPointF(35, 44), 13, 12, fur);
    Ellipse(p, QPointF(35, 46), 7, 7, pink.lighter(115), Qt::transparent);
    Ellipse(p, QPointF(26, 55), 6, 3.5, fur);
    Ellipse(p, QPointF(44, 55), 6, 3.5, fur);
    Ellipse(p, QPointF(23, 40), 3.5, 5, fur);
    Ellipse(p, QPointF(47, 40), 3.5, 5, fur);
    // head with a bow
    Ellipse(p, QPointF(35, 26), 12, 10.5, fur);
    Face(p, QPointF(35, 27), 8);
    Ellipse(p, QPointF(35, 27.5), 1.4, 1.0, pink, kInk, 0.4);
    p.setPen(QPen(kInk, 0.7));
    p.setBrush(QColor(240, 60, 110));
    p.drawPolygon(QPolygonF({QPointF(35, 36.5), QPointF(29, 33.5), QPointF(29, 39.5)}));
    p.drawPolygon(QPolygonF({QPointF(35, 36.5), QPointF(41, 33.5), QPointF(41, 39.5)}));
    Ellipse(p, QPointF(35, 36.5), 1.6, 1.6, QColor(240, 60, 110), kInk, 0.6);
    // stitches of a sewn toy
    p.setPen(QPen(QColor(200, 160, 170), 0.6, Qt::DashLine));
    p.drawLine(QPointF(35, 39), QPointF(35, 53));
}

void Button5(QPainter& p) {  // a child with headphones: 听儿歌
    SkyBackground(p, QColor(255, 235, 120), QColor(255, 190, 120));
    Note(p, QPointF(12, 18), QColor(220, 50, 120));
    Note(p, QPointF(53, 12), QColor(60, 90, 220));
    Note(p, QPointF(58, 30), QColor(40, 160, 80));
    Body(p, QRectF(24, 31, 20, 12), QColor(80, 170, 255));
    ChildHead(p, QPointF(34, 20), 10, QColor(120, 70, 30));
    p.setPen(QPen(QColor(230, 40, 60), 2.2, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(22.5, 7, 23, 22), 20 * 16, 140 * 16);
    p.setPen(QPen(kInk, 0.7));
    p.setBrush(QColor(230, 40, 60));
    p.drawRoundedRect(QRectF(21, 16, 5, 9), 2, 2);
    p.drawRoundedRect(QRectF(42, 16, 5, 9), 2, 2);
    Caption(p, QStringLiteral("听儿歌"), QColor(200, 30, 90));
}

void Button6(QPainter& p) {  // a child with a book: 讲故事
    SkyBackground(p, QColor(200, 240, 255), QColor(160, 220, 255));
    Star(p, QPointF(10, 10), 4, QColor(255, 235, 90));
    Star(p, QPointF(58, 15), 3.5, QColor(255, 235, 90));
    Body(p, QRectF(24, 30, 20, 12), QColor(255, 120, 150));
    ChildHead(p, QPointF(34, 19), 10, QColor(40, 30, 30));
    // an open book held up in front
    p.setPen(QPen(kInk, 0.7));
    p.setBrush(QColor(60, 170, 90));
    p.drawRoundedRect(QRectF(22, 31, 24, 11), 1.5, 1.5);
    p.setBrush(Qt::white);
    p.drawPolygon(QPolygonF({QPointF(23.5, 31), QPointF(34, 33), QPointF(34, 41), QPointF(23.5, 39.5)}));
    p.drawPolygon(QPolygonF({QPointF(44.5, 31), QPointF(34, 33), QPointF(34, 41), QPointF(44.5, 39.5)}));
    p.setPen(QPen(QColor(150, 150, 170), 0.5));
    for (qreal y : {34.5, 36.5}) {
        p.drawLine(QPointF(25.5, y), QPointF(32, y + 1));
        p.drawLine(QPointF(36, y + 1), QPointF(42.5, y));
    }
    Caption(p, QStringLiteral("讲故事"), QColor(30, 90, 200));
}

void Button7(QPainter& p) {  // a child with a ball: 玩游戏
    SkyBackground(p, QColor(200, 255, 200), QColor(150, 230, 140));
    Body(p, QRectF(19, 30, 18, 12), QColor(255, 180, 40));
    ChildHead(p, QPointF(28, 19), 10, QColor(230, 150, 40));
    // a striped beach ball
    const QPointF ball(50, 31);
    Ellipse(p, ball, 9, 9, Qt::white);
    p.save();
    QPainterPath clip;
    clip.addEllipse(ball, 9, 9);
    p.setClipPath(clip);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(240, 60, 60));
    p.drawEllipse(QPointF(ball.x() - 9, ball.y()), 6, 10);
    p.setBrush(QColor(60, 120, 240));
    p.drawEllipse(QPointF(ball.x() + 9, ball.y()), 6, 10);
    p.setBrush(QColor(255, 220, 40));
    p.drawEllipse(QPointF(ball.x(), ball.y() - 9), 4, 4);
    p.restore();
    p.setPen(QPen(kInk, 0.8));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(ball, 9, 9);
    Ellipse(p, QPointF(38, 33), 3, 3, kSkin);  // a hand reaching for the ball
    p.setPen(QPen(QColor(255, 255, 255, 200), 1.0, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(QRectF(43, 21, 8, 8), 100 * 16, 70 * 16);
    Caption(p, QStringLiteral("玩游戏"), QColor(220, 80, 0));
}

void Button8(QPainter& p) {  // a child at a desk: 学知识
    SkyBackground(p, QColor(255, 225, 235), QColor(255, 200, 220));
    // a little blackboard on the wall
    p.setPen(QPen(QColor(150, 90, 40), 1.2));
    p.setBrush(QColor(40, 110, 80));
    p.drawRect(QRectF(45, 5, 20, 14));
    // chalk: a sun, a triangle and a plus sign
    p.setPen(QPen(Qt::white, 0.9, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(49.5, 10), 2.3, 2.3);
    p.drawPolygon(QPolygonF({QPointF(54, 15), QPointF(56.5, 8.5), QPointF(59, 15)}));
    p.drawLine(QPointF(60, 10.5), QPointF(63, 10.5));
    p.drawLine(QPointF(61.5, 9), QPointF(61.5, 12));
    Body(p, QRectF(20, 28, 18, 12), QColor(150, 110, 230));
    ChildHead(p, QPointF(29, 17), 10, QColor(50, 30, 20));
    // desk top with a notebook and pencil
    p.setPen(QPen(kInk, 0.8));
    p.setBrush(QColor(200, 140, 80));
    p.drawRect(QRectF(8, 36, 56, 5));
    p.drawRect(QRectF(11, 40, 4, 4));
    p.drawRect(QRectF(57, 40, 4, 4));
    p.setBrush(Qt::white);
    p.drawPolygon(QPolygonF({QPointF(22, 36), QPointF(36, 36), QPointF(38, 33.5), QPointF(24, 33.5)}));
    p.setPen(QPen(QColor(255, 190, 30), 1.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(40, 33), QPointF(47, 29));
    Caption(p, QStringLiteral("学知识"), QColor(120, 40, 200));
}

QImage DrawButton(void (*draw)(QPainter&)) {
    QImage big(kButtonWidth * kOversample, kButtonHeight * kOversample, QImage::Format_RGB32);
    big.fill(Qt::white);
    {
        QPainter p(&big);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::TextAntialiasing);
        p.scale(kOversample, kOversample);
        draw(p);
    }
    return big.scaled(kButtonWidth, kButtonHeight, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

// The picture that ends a session: an evening sky in calm colours, a sleeping moon and
// the words 休息一下, the content area's size.
QImage DrawRest() {
    constexpr int kWidth = 600;
    constexpr int kHeight = 500;
    QImage rest(kWidth, kHeight, QImage::Format_RGB32);
    QPainter p(&rest);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    QLinearGradient sky(0, 0, 0, kHeight);
    sky.setColorAt(0, QColor(70, 96, 150));
    sky.setColorAt(1, QColor(150, 170, 205));
    p.fillRect(rest.rect(), sky);
    // Stars
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 248, 210, 200));
    const QPointF stars[] = {{60, 60}, {140, 120}, {250, 50}, {470, 90}, {540, 170}, {90, 210}, {380, 140}, {520, 40}};
    for (const QPointF& star : stars) p.drawEllipse(star, 3.0, 3.0);
    // A crescent moon with closed eyes.
    QPainterPath moon;
    moon.addEllipse(QPointF(300, 170), 90, 90);
    QPainterPath bite;
    bite.addEllipse(QPointF(345, 140), 80, 80);
    p.setBrush(QColor(255, 236, 170));
    p.drawPath(moon.subtracted(bite));
    p.setPen(QPen(QColor(120, 100, 70), 3, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(238, 170, 22, 14), 200 * 16, 140 * 16);
    p.drawArc(QRectF(268, 222, 28, 14), 200 * 16, 140 * 16);
    // Soft hills
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(110, 150, 130));
    p.drawEllipse(QPointF(120, 560), 280, 150);
    p.setBrush(QColor(95, 135, 120));
    p.drawEllipse(QPointF(500, 580), 300, 160);
    // The words
    QPainterPath words;
    QFont font = ChineseFont(72);
    words.addText(0, 0, font, QStringLiteral("休息一下"));
    const QRectF box = words.boundingRect();
    words.translate((kWidth - box.width()) / 2 - box.left(), 380 - box.bottom());
    p.setPen(QPen(QColor(60, 80, 120), 6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(words);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 250, 235));
    p.drawPath(words);
    return rest;
}

// The shelf button's picture: a little wooden shelf of coloured books, 16 x 16.
QImage DrawShelfIcon() {
    QImage icon(16, 16, QImage::Format_ARGB32);
    icon.fill(Qt::transparent);
    QPainter p(&icon);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    const QColor books[] = {QColor(230, 80, 70), QColor(70, 150, 230), QColor(250, 190, 40), QColor(90, 190, 90)};
    const qreal heights[] = {11, 9, 12, 10};
    for (int i = 0; i < 4; ++i) {
        p.setBrush(books[i]);
        p.drawRoundedRect(QRectF(1.5 + i * 3.3, 13 - heights[i], 2.8, heights[i]), 0.6, 0.6);
    }
    p.setBrush(QColor(150, 95, 50));
    p.drawRect(QRectF(0, 13, 16, 3));
    return icon;
}

// The program's icon: a smiling pebble with a little leaf, on transparency.
QImage DrawIcon(int size) {
    QImage icon(size, size, QImage::Format_ARGB32);
    icon.fill(Qt::transparent);
    QPainter p(&icon);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    QRadialGradient stone(QPointF(13, 14), 16);
    stone.setColorAt(0, QColor(150, 230, 255));
    stone.setColorAt(1, QColor(40, 120, 210));
    p.setPen(QPen(QColor(20, 60, 120), 1.0));
    p.setBrush(stone);
    p.drawEllipse(QRectF(2.5, 9.5, 27, 20));
    p.setBrush(QColor(90, 200, 80));
    p.setPen(QPen(QColor(30, 110, 40), 0.8));
    QPainterPath leaf;
    leaf.moveTo(16, 10);
    leaf.quadTo(14, 2, 23, 1.5);
    leaf.quadTo(23, 9, 16, 10);
    p.drawPath(leaf);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(20, 40, 80));
    p.drawEllipse(QPointF(11.5, 18), 1.6, 2.0);
    p.drawEllipse(QPointF(20.5, 18), 1.6, 2.0);
    p.setBrush(QColor(255, 140, 170, 200));
    p.drawEllipse(QPointF(8, 22), 2.2, 1.4);
    p.drawEllipse(QPointF(24, 22), 2.2, 1.4);
    p.setPen(QPen(QColor(20, 40, 80), 1.3, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(12, 18.5, 8, 5.5), 200 * 16, 140 * 16);
    return icon;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: %s <output directory> [<icon directory>]\n", argv[0]);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!QDir().mkpath(out.path())) return 1;
    if (QFontDatabase::families().filter(QStringLiteral("WenQuanYi Zen Hei")).isEmpty()) {
        std::fprintf(stderr, "the WenQuanYi Zen Hei font is needed (fonts-wqy-zenhei)\n");
        return 1;
    }

    if (!WriteUniformJpeg(out.filePath(QStringLiteral("background.jpg")), QSize(730, 700), kBackgroundColour)) return 1;

    void (*const buttons[])(QPainter&) = {Button1, Button2, Button3, Button4, Button5, Button6, Button7, Button8};
    for (int i = 0; i < 8; ++i) {
        const QString name = QStringLiteral("button%1.jpg").arg(i + 1);
        if (!WriteImage(DrawButton(buttons[i]), out.filePath(name), "jpg", 92)) return 1;
    }

    if (!WriteImage(DrawRest(), out.filePath(QStringLiteral("rest.png")), "png")) return 1;
    if (!WriteImage(DrawShelfIcon(), out.filePath(QStringLiteral("shelf.png")), "png")) return 1;

    const QImage icon = DrawIcon(32);
    if (!WriteImage(icon, out.filePath(QStringLiteral("pebblewick.png")), "png")) return 1;
    if (!WriteImage(icon, out.filePath(QStringLiteral("pebblewick.ico")), "ico")) return 1;
    if (argc == 3) {
        const QDir icons(QString::fromLocal8Bit(argv[2]));
        if (!QDir().mkpath(icons.path())) return 1;
        for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
            const QString name = QStringLiteral("pebblewick-%1.png").arg(size);
            if (!WriteImage(DrawIcon(size), icons.filePath(name), "png")) return 1;
        }
    }
    std::printf("pictures written to %s\n", argv[1]);
    return 0;
}
