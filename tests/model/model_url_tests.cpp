#include "model/model.h"

#include <gtest/gtest.h>

TEST(SourceUrlPolicy, AllowsNasaSubdomain) { EXPECT_TRUE(isAllowedSourceUrl("https://www.nasa.gov/news-release/feed/")); }
