// A test fixture that formats under a chosen local zone, UTC unless the
// test says otherwise, and leaves UTC behind.
#pragma once
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

class LocalZoneTest : public ::testing::Test {
protected:
    void SetUp() override { useZone("UTC0"); }
    void TearDown() override { useZone("UTC0"); }
    static void useZone(const char* tz) {
        setenv("TZ", tz, 1);
        tzset();
    }
};
