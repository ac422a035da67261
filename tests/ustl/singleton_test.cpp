#include "ustl/singleton.h"

#include <gtest/gtest.h>

namespace {

int constructed = 0;
int destroyed = 0;

class Counted : public ustl::dynamic_singleton<Counted> {
public:
    Counted() { ++constructed; }
    ~Counted() override { ++destroyed; }
    int value = 0;
};

class Static : public ustl::static_singleton<Static> {
public:
    int value = 0;
};

}  // namespace

TEST(Singleton, DynamicCreatesOnceAndDestroyResets) {
    constructed = destroyed = 0;
    EXPECT_FALSE(Counted::exists());
    Counted::instance().value = 7;
    EXPECT_EQ(Counted::instance().value, 7);
    EXPECT_EQ(constructed, 1);
    Counted::destroy();
    EXPECT_EQ(destroyed, 1);
    EXPECT_FALSE(Counted::exists());
    EXPECT_EQ(Counted::instance().value, 0);  // a fresh object
    EXPECT_EQ(constructed, 2);
    Counted::destroy();
}

TEST(Singleton, DestroyWithoutInstanceCreatesThenDeletes) {
    constructed = destroyed = 0;
    Counted::destroy();
    EXPECT_EQ(constructed, 1);
    EXPECT_EQ(destroyed, 1);
}

TEST(Singleton, StaticIsOneObject) {
    Static::instance().value = 3;
    EXPECT_EQ(&Static::instance(), &Static::instance());
    EXPECT_EQ(Static::instance().value, 3);
}
