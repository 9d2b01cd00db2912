#include "io/output.hpp"

#include <gtest/gtest.h>

TEST(Output, Placeholder) {
    SUCCEED();
}
