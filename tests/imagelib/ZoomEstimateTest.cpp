// The zoom rows that decide results from a multiply-add estimate, called
// directly on many random taps and weights: the estimate rounds otherwise
// than the double arithmetic now and then, close to whole numbers, and
// every such result must be the double arithmetic's.
#include "qimown.h"

extern "C" {
#include "ownzoom.h"
}

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

// One channel, each column's taps a pixel and the next, the columns two
// pixels apart (halving); the weights random, as the rows of a plan from
// the front end never have them, so that every fraction is met.
struct HalvingRow {
    std::vector<int> tap;
    std::vector<float> weight;
    ZoomPlan plan{};

    explicit HalvingRow(int width, std::mt19937& rng) : tap(width), weight(width)
    {
        std::uniform_real_distribution<float> unit(0.0f, 1.0f);
        for (int i = 0; i < width; ++i) {
            tap[i] = 2 * i;
            weight[i] = unit(rng);
        }
        plan.kind = K16U;
        plan.nch = plan.srcPix = 1;
        plan.width = width;
        plan.xTap = tap.data();
        plan.xw = weight.data();
    }
};

TEST(ZoomEstimateTest, SixteenBitJoinedRowsGiveTheDoubleArithmeticsResults)
{
    ownSetVectorLevel(OWN_VECTOR_AVX2);
    if (ownVectorLevel() < OWN_VECTOR_AVX2 || !ownHasFma())
        GTEST_SKIP() << "no AVX2 with FMA";
    std::mt19937 rng(4242);
    const int width = 8 * 4096;
    HalvingRow row(width, rng);
    std::vector<uint16_t> s0(2 * width + 2), s1(2 * width + 2);
    std::vector<uint16_t> estimated(width), exact(width);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    long long differing = 0;
    for (int round = 0; round < 12; ++round) {
        // Full-range values, values close to each other (results that
        // gather near few whole numbers), and small values, whose floats
        // carry more fraction bits.
        for (size_t e = 0; e < s0.size(); ++e) {
            const uint32_t r = rng();
            switch (round % 3) {
            case 0: s0[e] = (uint16_t)r, s1[e] = (uint16_t)(r >> 16); break;
            case 1: s0[e] = (uint16_t)r, s1[e] = (uint16_t)(s0[e] + (r >> 16) % 5); break;
            default: s0[e] = (uint16_t)(r % 64), s1[e] = (uint16_t)((r >> 16) % 64); break;
            }
        }
        const float wy = round == 0 ? 0.5f : unit(rng);
        const char* r0 = (const char*)s0.data();
        const char* r1 = (const char*)s1.data();
        ASSERT_EQ(ownZoomLinearJoined16uFma(&row.plan, r0, r1, wy, estimated.data(), r0), width);
        ASSERT_EQ(ownZoomLinearJoined16u32fAvx2(&row.plan, r0, r1, wy, exact.data(), r0), width);
        for (int i = 0; i < width; ++i) {
            ASSERT_EQ(estimated[i], exact[i]) << "round " << round << " column " << i;
            // How often a single fused estimate would have gone wrong here.
            const float w = row.weight[i];
            const float h0 = (float)s0[2 * i] + w * (float)(s0[2 * i + 1] - s0[2 * i]);
            const float h1 = (float)s1[2 * i] + w * (float)(s1[2 * i + 1] - s1[2 * i]);
            differing += (int)(h0 + wy * (h1 - h0)) != (int)exact[i];
        }
    }
    // The inputs reach the results that the estimate alone gets wrong.
    EXPECT_GT(differing, 0);
}

} // namespace
