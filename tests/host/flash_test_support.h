#pragma once

#include <QDir>
#include <QFile>
#include <QImage>
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

}  // namespace pw::test
