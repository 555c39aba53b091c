// The Windows family from GetVersion.
#include "ty_common_test_support.h"

struct VersionCase {
    DWORD version;
    int family;
};

class OsFamilyTest : public ProductTest, public ::testing::WithParamInterface<VersionCase> {};

TEST_P(OsFamilyTest, FollowsTheTopBitAndTheMajorVersion) {
    standinSetVersion(GetParam().version);
    EXPECT_EQ(getOsFamily(), GetParam().family);
}

INSTANTIATE_TEST_SUITE_P(
    SetupState, OsFamilyTest,
    ::testing::Values(VersionCase{0x0A280105u, 2},    // NT 5.1
                      VersionCase{0x23F00206u, 2},    // NT 6.2
                      VersionCase{0xC0000A04u, 4},    // the 95 family, 4.10
                      VersionCase{0xC0005A05u, 4},    // 95 family, major above 4
                      VersionCase{0x80000003u, 3},    // top bit, major 3
                      VersionCase{0x80000000u, 3}));
