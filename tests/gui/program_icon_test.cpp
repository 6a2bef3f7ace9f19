#include "gui/program_icon.h"

#include <gtest/gtest.h>

// The embedded icon must reach the program from its static library, at every
// size the desktop asks for, without scaling a neighbour.
TEST(ProgramIcon, OffersEachEmbeddedSizeAsDrawn)
{
    const QIcon icon = pvx::gui::programIcon();
    ASSERT_FALSE(icon.isNull());
    for (const int size : {16, 32, 48, 256}) {
        SCOPED_TRACE(size);
        EXPECT_TRUE(icon.availableSizes().contains(QSize(size, size)));
        const QImage image = icon.pixmap(QSize(size, size)).toImage();
        EXPECT_EQ(image.size(), QSize(size, size));
        EXPECT_TRUE(image.hasAlphaChannel());
        // The rounded corner is see-through, the middle is not.
        EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
        EXPECT_EQ(qAlpha(image.pixel(size / 2, size / 2)), 255);
    }
}
