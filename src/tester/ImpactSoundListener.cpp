#include "tester/ImpactSoundListener.h"

#include "physics/FieldItem.h"
#include "physics/SimulationParameters.h"
#include "tester/MirelConfig.h"

void ImpactSoundListener::OnImpact(const FieldItem& item, double acceleration, const FieldItem* viewer) {
    // the camera sits at the view mode's eye offset in the viewer's axes
    const SimulationParameters& parameters = SimulationParameters::Instance();
    const Vector3& eye =
        MirelConfig::Instance().viewMode == 1 ? parameters.topEyeOffset : parameters.isometricEyeOffset;
    Vector3 relative = item.WorldPosition();
    if (viewer != nullptr) {
        relative -= viewer->WorldPosition();
        viewer->ToLocal(relative);
    }
    relative -= eye;
    sound_.Play(acceleration * kAmplitudePerAcceleration, kDecay, kFrequency, relative.x, relative.y,
                relative.z);
}
