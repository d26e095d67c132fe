#pragma once

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRawFont>
#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <vector>

// Small helpers shared by the Flash player's GUI tests.
namespace pw::test {

inline QString WriteFile(const QTemporaryDir& dir, const QString& name, const std::vector<std::uint8_t>& bytes) {
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return {};
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    return path;
}

inline QRgb Rgb(std::uint32_t rgb) { return qRgb((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

inline int PixelsNear(const QImage& image, QRgb colour) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    int count = 0;
    for (int y = 0; y < rgb.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x) {
            if (qAbs(qRed(line[x]) - qRed(colour)) < 24 && qAbs(qGreen(line[x]) - qGreen(colour)) < 24 &&
                qAbs(qBlue(line[x]) - qBlue(colour)) < 24) {
                ++count;
            }
        }
    }
    return count;
}

// Saves a picture when PEBBLEWICK_TEST_SHOTS names a folder, to look at by eye.
inline void KeepShot(const QImage& image, const QString& name) {
    const QString folder = qEnvironmentVariable("PEBBLEWICK_TEST_SHOTS");
    if (!folder.isEmpty()) image.save(QDir(folder).filePath(name));
}

// The ink (pixels darker than mid-grey) of `area`, cropped to its bounds and scaled to
// `size`: two drawings of one shape come out alike wherever and at whatever size they were
// drawn. Null when the area holds no ink.
inline QImage InkShape(const QImage& image, const QRect& area, QSize size = {64, 64}) {
    const QImage gray = image.copy(area).convertToFormat(QImage::Format_Grayscale8);
    QRect bounds;
    for (int y = 0; y < gray.height(); ++y) {
        const uchar* line = gray.constScanLine(y);
        for (int x = 0; x < gray.width(); ++x) {
            if (line[x] < 128) bounds |= QRect(x, y, 1, 1);
        }
    }
    if (bounds.isNull()) return {};
    return gray.copy(bounds).scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

// Of two ink shapes of one size, the share of the pixels inked in either that are inked in
// both: 1 for the same shape, near 0 for shapes that do not overlap.
inline double Likeness(const QImage& a, const QImage& b) {
    if (a.isNull() || b.isNull() || a.size() != b.size()) return 0;
    int both = 0, either = 0;
    for (int y = 0; y < a.height(); ++y) {
        const uchar* left = a.constScanLine(y);
        const uchar* right = b.constScanLine(y);
        for (int x = 0; x < a.width(); ++x) {
            both += left[x] < 128 && right[x] < 128 ? 1 : 0;
            either += left[x] < 128 || right[x] < 128 ? 1 : 0;
        }
    }
    return either == 0 ? 0 : double(both) / either;
}

// The text in black on white, drawn from the outlines of the font file's first face.
inline QImage DrawnByFont(const QString& fontFile, const QString& text, int pixelSize) {
    const QRawFont font(fontFile, pixelSize);
    QImage image(pixelSize * (int(text.size()) + 2), pixelSize * 2, QImage::Format_RGB32);
    image.fill(Qt::white);
    if (!font.isValid()) return image;
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QList<quint32> glyphs = font.glyphIndexesForString(text);
    const QList<QPointF> advances = font.advancesForGlyphIndexes(glyphs);
    QPointF pen(pixelSize / 2.0, pixelSize * 1.5);
    for (qsizetype i = 0; i < glyphs.size(); ++i) {
        painter.fillPath(font.pathForGlyph(glyphs[i]).translated(pen), Qt::black);
        pen += advances[i];
    }
    return image;
}

}  // namespace pw::test
