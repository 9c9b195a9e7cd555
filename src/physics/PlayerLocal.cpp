#include "physics/PlayerLocal.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "collision/Collide.h"
#include "physics/FieldItemComposite.h"
#include "physics/FieldItemRay.h"
#include "physics/Quaternion.h"
#include "physics/SimulationParameters.h"
#include "physics/TickInput.h"
#include "physics/ViewWindow.h"
#include "physics/WorldSettings.h"

namespace {

/// The settings of a fresh configuration; the wheel changes nothing without real settings.
class DefaultViewerSettings : public ViewerSettings {
public:
    int ScreenWidth() const override { return 640; }
    int ScreenHeight() const override { return 480; }
    int ViewMode() const override { return 0; }
    bool Stereogram() const override { return false; }
    int Zoom() const override { return 10; }
    void SetZoom(int /*step*/) override {}
};

/// The zoom factor of the settings; one that cannot scale stands for no zoom.
double ZoomFactorOf(const WorldSettings& settings) {
    return settings.zoomFactor > 0.0 && std::isfinite(settings.zoomFactor) ? settings.zoomFactor : 1.0;
}

bool IsButton(std::uint32_t offset) {
    return offset == DIMOFS_BUTTON0 || offset == DIMOFS_BUTTON1 || offset == DIMOFS_BUTTON2;
}

} // namespace

const ViewerSettings& PlayerLocal::Settings() const {
    static const DefaultViewerSettings defaults;
    if (settings_ != nullptr) {
        return *settings_;
    }
    return defaults;
}

bool PlayerLocal::CursorInView(int& x, int& y) const {
    if (viewWindow_ == nullptr || !viewWindow_->CursorClientPosition(x, y)) {
        return false;
    }
    const ViewerSettings& settings = Settings();
    return 0 <= x && x <= settings.ScreenWidth() && 0 <= y && y <= settings.ScreenHeight();
}

bool PlayerLocal::ButtonDown(int button) const {
    return viewWindow_ == nullptr || viewWindow_->IsButtonDown(button);
}

void PlayerLocal::Control(const TickInput* input) {
    if (input == nullptr) {
        return;
    }
    const SimulationParameters& parameters = SimulationParameters::Instance();
    Vector3 move;
    bool moved = false;

    for (std::int32_t i = 0; i < input->mouseCount; ++i) {
        const DIDEVICEOBJECTDATA& event = input->mouse[i];
        const auto data = static_cast<std::int32_t>(event.dwData);
        const bool pressed = (event.dwData & kPressedBit) != 0;
        const bool button = IsButton(event.dwOfs);
        const auto movement = static_cast<float>(data);

        // a press outside the view changes nothing, not even the button state
        int x = 0;
        int y = 0;
        if (button && pressed && !CursorInView(x, y)) {
            continue;
        }

        // a press picks what lies under the cursor; any release lets go
        if (button) {
            if (pressed) {
                if (FieldItem* picked = Pick(x, y)) {
                    grabbed_ = picked;
                }
            } else {
                grabbed_ = nullptr;
            }
        }
        if (event.dwOfs == DIMOFS_BUTTON0) {
            leftHeld = pressed;
        } else if (event.dwOfs == DIMOFS_BUTTON1) {
            rightHeld = pressed;
        } else if (event.dwOfs == DIMOFS_BUTTON2) {
            middleHeld = pressed;
        }

        // left drag: over the ground, or the picked item along the ground (the other way)
        const float sign = grabbed_ != nullptr ? -1.0f : 1.0f;
        if (leftHeld && event.dwOfs == DIMOFS_X) {
            move.x += sign * movement;
            moved = true;
        } else if (leftHeld && event.dwOfs == DIMOFS_Y) {
            move.z += sign * movement;
            moved = true;
        }

        // middle drag: up and down, and sideways for a picked item
        if (middleHeld && event.dwOfs == DIMOFS_X && grabbed_ != nullptr) {
            move.x -= movement;
            moved = true;
        } else if (middleHeld && event.dwOfs == DIMOFS_Y) {
            move.y += sign * movement;
            moved = true;
        }

        // right drag: turn the view about the vertical
        if (rightHeld && event.dwOfs == DIMOFS_X && grabbed_ == nullptr) {
            Vector3 axis(0.0f, 1.0f, 0.0f);
            ToLocal(axis);
            const Quaternion turn =
                QuaternionRotationAxis(axis, static_cast<float>(parameters.panTurnRate) * movement);
            orientation_ = QuaternionNormalize(QuaternionMultiply(orientation_, turn));
        }

        if (event.dwOfs == DIMOFS_Z && data != 0) {
            ViewerSettings* settings = settings_;
            if (settings != nullptr) {
                settings->SetZoom(settings->Zoom() + (data > 0 ? 1 : -1));
            }
        }
    }

    // mouse units to newtons on a picked item, to metres at the current zoom for the viewer
    const WorldSettings& step = StepSettings();
    const double scale = grabbed_ != nullptr ? step.mouseForce : parameters.panTurnRate / ZoomFactorOf(step);
    move *= static_cast<float>(scale);

    // a lifted item carries its weight while the middle button holds it (as gravity weighs it)
    if (middleHeld && grabbed_ != nullptr) {
        const double surfaceGravity =
            step.gravitationalConstant * step.earthMass / (step.earthRadius * step.earthRadius);
        move.y += static_cast<float>(grabbed_->Mass() * step.gravity * surfaceGravity);
    } else if (!moved) {
        return;
    }

    // a release the events missed ends the drag
    if (!ButtonDown(0) && !ButtonDown(2)) {
        leftHeld = false;
        middleHeld = false;
        return;
    }

    ToWorld(move);
    if (grabbed_ != nullptr) {
        // at the grab point, so that an off-centre push also turns the item
        grabbed_->Force() += move;
        Vector3 arm = grabPoint;
        grabbed_->ToWorld(arm);
        Vector3 torque = Cross(arm, move);
        grabbed_->ToLocal(torque);
        grabbed_->Torque() += torque;
        return;
    }
    transform_._41 += move.x;
    transform_._42 += move.y;
    transform_._43 += move.z;
    transform_._42 = static_cast<float>(std::clamp(
        static_cast<double>(transform_._42), parameters.playerLowestHeight, parameters.playerHighestHeight));
}

FieldItem* PlayerLocal::Pick(int x, int y) {
    auto* world = dynamic_cast<FieldItemComposite*>(Parent());
    if (world == nullptr) {
        return nullptr;
    }
    const ViewerSettings& settings = Settings();
    const int screenWidth = settings.ScreenWidth();
    const int screenHeight = settings.ScreenHeight();
    const bool stereogram = settings.Stereogram();
    if (screenWidth <= 0 || screenHeight <= 0) {
        return nullptr;
    }

    // the camera of the view (the stereogram half) that holds the point
    const ViewerCamera camera = CameraOf(settings.ViewMode(), EyeShiftAt(x, screenWidth, stereogram));
    const int viewWidth = stereogram ? screenWidth / 2 : screenWidth;
    const int viewLeft = stereogram && x >= screenWidth / 2 ? screenWidth / 2 : 0;
    const Matrix4 view = LookAt(camera);
    const Matrix4 projection = Projection(static_cast<float>(viewWidth) / static_cast<float>(screenHeight));
    Matrix4 viewport;
    viewport._11 = viewWidth / 2.0f;
    viewport._22 = -screenHeight / 2.0f;
    viewport._41 = viewLeft + viewWidth / 2.0f;
    viewport._42 = screenHeight / 2.0f;

    // the point under the cursor on the near plane, in the viewer's axes (zoomed)
    const Matrix4 toView = MatrixInverse(MatrixMultiply(MatrixMultiply(view, projection), viewport));
    float q[4];
    for (int column = 0; column < 4; ++column) {
        q[column] = static_cast<float>(x) * toView.At(0, column) +
                    static_cast<float>(y) * toView.At(1, column) + toView.At(3, column);
    }
    if (q[3] == 0.0f) {
        return nullptr;
    }
    const Vector3 nearPoint(q[0] / q[3], q[1] / q[3], q[2] / q[3]);

    // the ray from the eye through that point, unzoomed, in the viewer's axes
    const WorldSettings& step = StepSettings();
    const auto zoom = static_cast<float>(ZoomFactorOf(step));
    FieldItemRay ray;
    FieldItemRay::Record record;
    record.parent = this;
    record.position = nearPoint * (1.0f / zoom);
    record.direction = (nearPoint - camera.eye) * (1.0f / zoom);
    ray.Initialize(record);

    // the nearest hit of any member (a box reports every face the ray enters)
    double bestDistance = kPickRange;
    FieldItem* result = nullptr;
    std::vector<Contact> contacts;
    for (const auto& [name, member] : world->Members()) {
        if (name == L"sky" || name == L"land" || member.get() == this) {
            continue;
        }
        contacts.clear();
        Collide(ray, *member, CollideSettings{step.contactTolerance}, contacts);
        for (const Contact& contact : contacts) {
            if (!(contact.distance < bestDistance)) {
                continue;
            }
            bestDistance = contact.distance;
            result = member.get();
            grabPoint = contact.point - member->WorldPosition();
            member->ToLocal(grabPoint);
        }
    }
    return result;
}

ViewerCamera PlayerLocal::CameraOf(int viewMode, float eyeShift) {
    const SimulationParameters& parameters = SimulationParameters::Instance();
    ViewerCamera camera =
        viewMode == 0
            ? ViewerCamera{parameters.isometricEyeOffset, parameters.isometricLookAt, parameters.isometricUp}
            : ViewerCamera{parameters.topEyeOffset, parameters.topLookAt, parameters.topUp};
    camera.eye.x += eyeShift;
    return camera;
}

float PlayerLocal::EyeShiftAt(int x, int width, bool stereogram) {
    if (!stereogram) {
        return 0.0f;
    }
    const auto shift = static_cast<float>(SimulationParameters::Instance().stereogramEyeShift);
    return x < width / 2 ? -shift : shift;
}

Matrix4 PlayerLocal::LookAt(const ViewerCamera& camera) {
    return MatrixLookAtRH(camera.eye, camera.lookAt, camera.up);
}

Matrix4 PlayerLocal::Projection(float aspect) {
    return MatrixPerspectiveFovRH(kFieldOfView, aspect, kNearPlane, kFarPlane);
}
