// A program linked without a resource table: its module finds no resources.
#include <gtest/gtest.h>

#include "platform/Resources.h"

TEST(NoResourceTable, ModuleWithoutTheSectionFindsNothing) {
    ASSERT_NE(platform::currentModule(), nullptr);
    EXPECT_TRUE(platform::moduleResources(platform::currentModule()).entries().empty());
    EXPECT_FALSE(platform::findResource(platform::currentModule(), 10, "BLOB").has_value());
}
