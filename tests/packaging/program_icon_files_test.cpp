// The program icon as the build writes it for desktop menus: a PNG per hicolor size, each the
// ring logo on a transparent square (an opaque square would show as a box in menus and docks).
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QString>
#include <cmath>

namespace {

QColor sample(const QImage& image, double dx, double dy) {
    const double c = image.width() / 2.0;
    return image.pixelColor(static_cast<int>(std::floor(c + dx)),
                            static_cast<int>(std::floor(c + dy)));
}

TEST(ProgramIconFiles, EveryThemeSizeIsTheRingLogoOnTransparency) {
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        SCOPED_TRACE(size);
        const QString file = QString("%1/%2x%2/apps/vidora.png").arg(VIDORA_ICON_DIR).arg(size);
        QImage icon(file);
        ASSERT_FALSE(icon.isNull()) << file.toStdString();
        ASSERT_EQ(icon.size(), QSize(size, size));
        ASSERT_TRUE(icon.hasAlphaChannel());
        icon = icon.convertToFormat(QImage::Format_ARGB32);

        for (const QPoint corner :
             {QPoint(0, 0), QPoint(size - 1, 0), QPoint(0, size - 1), QPoint(size - 1, size - 1)})
            EXPECT_EQ(icon.pixelColor(corner).alpha(), 0) << corner.x() << "," << corner.y();

        // From the centre out: the blue lens, the dark body, the violet-blue ring; all opaque.
        const double radius = size / 2.0 - size / 32.0;
        const QColor lens = sample(icon, 0.5, 0.5);
        const QColor body = sample(icon, radius * 0.45, 0.5);
        const QColor ring = sample(icon, 0.5, -radius * 0.82);
        for (const QColor& c : {lens, body, ring})
            EXPECT_EQ(c.alpha(), 255);
        EXPECT_GT(lens.blue(), 200);
        EXPECT_GT(lens.blue(), lens.red() + 60);
        EXPECT_LT(std::max({body.red(), body.green(), body.blue()}), 0x40);
        EXPECT_GT(ring.blue(), 180);
        EXPECT_GT(ring.blue(), ring.green() + 20);
    }
}

}  // namespace
