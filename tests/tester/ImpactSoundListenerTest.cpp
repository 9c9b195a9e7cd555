#include "tester/ImpactSoundListener.h"

#include <gtest/gtest.h>

#include <numbers>
#include <vector>

#include "physics/FieldItem.h"
#include "support/FieldItemTestBody.h"
#include "tester/MirelConfig.h"

namespace {

struct Played {
    double amplitude, decay, frequency, dx, dy, dz;
};

class RecordingSound : public ImpactSound {
public:
    void Play(double amplitude, double decay, double frequency, double dx, double dy, double dz) override {
        played.push_back(Played{amplitude, decay, frequency, dx, dy, dz});
    }
    std::vector<Played> played;
};

std::unique_ptr<FieldItemTestBody> Placed(const Vector3& position, const Vector3& angle = {}) {
    auto item = std::make_unique<FieldItemTestBody>();
    Placement placement;
    placement.position = position;
    placement.angle = angle;
    item->Initialize(placement);
    item->UpdateWorld(nullptr, nullptr);
    return item;
}

} // namespace

TEST(ImpactSoundListener, PlaysTheImpactWhereTheViewModesCameraHearsIt) {
    MirelConfig& config = MirelConfig::Instance();
    RecordingSound sound;
    ImpactSoundListener listener(sound);
    auto item = Placed({1.0f, 0.5f, 2.0f});
    // the viewer at its start placement, then turned a quarter about the vertical
    auto viewer = Placed({0.0f, 0.5f, 0.0f});
    auto turned = Placed({0.0f, 0.5f, 0.0f}, {0.0f, std::numbers::pi_v<float> / 2.0f, 0.0f});

    config.viewMode = 0;
    listener.OnImpact(*item, 200.0, viewer.get());
    listener.OnImpact(*item, 200.0, turned.get());
    config.viewMode = 1;
    listener.OnImpact(*item, 120.0, viewer.get());
    listener.OnImpact(*item, 120.0, nullptr);
    config.viewMode = 0;

    ASSERT_EQ(sound.played.size(), 4u);
    // 2000 sample units per m/s^2, the tone's decay and frequency
    EXPECT_DOUBLE_EQ(sound.played[0].amplitude, 200.0 * 2000.0);
    EXPECT_EQ(sound.played[0].decay, 0.999);
    EXPECT_EQ(sound.played[0].frequency, 50.0);
    // relative to the viewer, in its axes, less the isometric eye offset (0, 2, -5)
    EXPECT_NEAR(sound.played[0].dx, 1.0, 1e-6);
    EXPECT_NEAR(sound.played[0].dy, 0.5 - 0.5 - 2.0, 1e-6);
    EXPECT_NEAR(sound.played[0].dz, 2.0 + 5.0, 1e-6);
    // a turned viewer hears the offset in its own axes: (1, 0, 2) becomes (-2, 0, 1)
    EXPECT_NEAR(sound.played[1].dx, -2.0, 1e-5);
    EXPECT_NEAR(sound.played[1].dz, 1.0 + 5.0, 1e-5);
    // the top view's eye offset (0, 2, -0.1); without a viewer, from the origin
    EXPECT_DOUBLE_EQ(sound.played[2].amplitude, 120.0 * 2000.0);
    EXPECT_NEAR(sound.played[2].dz, 2.0 + 0.1, 1e-6);
    EXPECT_NEAR(sound.played[3].dy, 0.5 - 2.0, 1e-6);
    EXPECT_NEAR(sound.played[3].dz, 2.0 + 0.1, 1e-6);
}
