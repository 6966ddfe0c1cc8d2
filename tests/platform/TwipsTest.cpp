// Twips to pixels for values a settings file may hold: huge, infinite or no
// number at all.
#include "platform/Twips.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

TEST(Twips, ValuesBeyondAnyScreenGiveSanePixels)
{
    EXPECT_EQ(platform::pixelsX(std::nan("")), 0);
    EXPECT_EQ(platform::pixelsY(std::nan("")), 0);
    for (const double huge : {1e30, std::numeric_limits<double>::infinity(), 3e9}) {
        const int x = platform::pixelsX(huge);
        EXPECT_GT(x, 1'000'000) << huge;
        EXPECT_LE(x, 1 << 28) << huge;
        EXPECT_EQ(platform::pixelsY(-huge), -platform::pixelsY(huge)) << huge;
    }
    // A place and a size added up stay inside int.
    EXPECT_GT(platform::pixelsX(1e30) + platform::pixelsX(1e30), 0);
    EXPECT_EQ(platform::pixelsX(1500), platform::pixelsX(1500.0f));
}
