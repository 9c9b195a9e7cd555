// The towers scene in a peer engine, for a side-by-side comparison with kivaro-sim --timing:
// N spheres (r 0.1 m, density 1000) in 10 x 10 towers 0.25 m apart in x and z, layers 0.25 m
// apart from y = 0.2, dropped onto a ground plane and stepped at a fixed step. The peer is
// chosen at build time (TOWERS_ODE or TOWERS_BULLET). Neither peer may put bodies to sleep:
// Kivaro steps every body every step, and so must they.
//
// usage: towers-ode|towers-bullet [--spheres N] [--seconds S] [--step DT]
// Prints one JSON line: engine, spheres, steps, step_seconds, body_steps_per_second, top_height.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#if defined(TOWERS_ODE)
#include <ode/ode.h>
#elif defined(TOWERS_BULLET)
#include <btBulletDynamicsCommon.h>
#else
#error "define TOWERS_ODE or TOWERS_BULLET"
#endif

namespace {

constexpr double kRadius = 0.1;
constexpr double kDensity = 1000.0;
// Kivaro's surface gravity at g = 1, m/s^2
constexpr double kGravity = 9.77;
constexpr double kFriction = 0.4;

struct Options {
    int spheres = 2000;
    double seconds = 2.0;
    double step = 0.0015;
};

Options Parse(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "--spheres") == 0 && hasValue) {
            options.spheres = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--seconds") == 0 && hasValue) {
            options.seconds = std::atof(argv[++i]);
        } else if (std::strcmp(argv[i], "--step") == 0 && hasValue) {
            options.step = std::atof(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: %s [--spheres N] [--seconds S] [--step DT]\n", argv[0]);
            std::exit(2);
        }
    }
    if (options.spheres < 1 || !(options.seconds > 0.0) || !(options.step > 0.0)) {
        std::fprintf(stderr, "%s: spheres, seconds and step must be positive\n", argv[0]);
        std::exit(2);
    }
    return options;
}

/// Centre of sphere i of the towers.
void TowerPosition(int i, double& x, double& y, double& z) {
    const int column = i % 10;
    const int row = (i / 10) % 10;
    const int layer = i / 100;
    x = 0.25 * (column - 4.5);
    y = 0.2 + 0.25 * layer;
    z = 0.25 * (row - 4.5);
}

#if defined(TOWERS_ODE)

// ODE 0.16: quickstep with 10 iterations, a hash space, double precision
class Towers {
public:
    static constexpr const char* kEngine = "ode";

    explicit Towers(int spheres) {
        dInitODE2(0);
        world_ = dWorldCreate();
        space_ = dHashSpaceCreate(nullptr);
        contacts_ = dJointGroupCreate(0);
        dWorldSetGravity(world_, 0, -kGravity, 0);
        dWorldSetQuickStepNumIterations(world_, 10);
        dWorldSetAutoDisableFlag(world_, 0);
        dCreatePlane(space_, 0, 1, 0, 0);
        for (int i = 0; i < spheres; ++i) {
            double x, y, z;
            TowerPosition(i, x, y, z);
            dBodyID body = dBodyCreate(world_);
            dMass mass;
            dMassSetSphere(&mass, kDensity, kRadius);
            dBodySetMass(body, &mass);
            dBodySetPosition(body, x, y, z);
            dGeomID geom = dCreateSphere(space_, kRadius);
            dGeomSetBody(geom, body);
            bodies_.push_back(body);
        }
    }
    ~Towers() {
        dJointGroupDestroy(contacts_);
        dSpaceDestroy(space_);
        dWorldDestroy(world_);
        dCloseODE();
    }

    void Step(double step) {
        dSpaceCollide(space_, this, &Towers::NearCallback);
        dWorldQuickStep(world_, step);
        dJointGroupEmpty(contacts_);
    }

    double TopHeight() const {
        double top = 0.0;
        for (dBodyID body : bodies_) {
            top = std::max(top, static_cast<double>(dBodyGetPosition(body)[1]));
        }
        return top;
    }

private:
    static void NearCallback(void* data, dGeomID a, dGeomID b) {
        auto* self = static_cast<Towers*>(data);
        constexpr int kMaximumContacts = 4;
        dContact contacts[kMaximumContacts];
        const int count = dCollide(a, b, kMaximumContacts, &contacts[0].geom, sizeof(dContact));
        for (int i = 0; i < count; ++i) {
            contacts[i].surface.mode = dContactApprox1;
            contacts[i].surface.mu = kFriction;
            dJointID joint = dJointCreateContact(self->world_, self->contacts_, &contacts[i]);
            dJointAttach(joint, dGeomGetBody(a), dGeomGetBody(b));
        }
    }

    dWorldID world_;
    dSpaceID space_;
    dJointGroupID contacts_;
    std::vector<dBodyID> bodies_;
};

#else

// Bullet: the discrete dynamics world with the dynamic AABB tree broad phase and the
// sequential impulse solver at its default 10 iterations
class Towers {
public:
    static constexpr const char* kEngine = "bullet";

    explicit Towers(int spheres)
        : dispatcher_(&configuration_), world_(&dispatcher_, &broadphase_, &solver_, &configuration_),
          sphere_(kRadius), plane_(btVector3(0, 1, 0), 0) {
        world_.setGravity(btVector3(0, -kGravity, 0));
        AddBody(&plane_, 0.0, btVector3(0, 0, 0));
        const double mass = kDensity * 4.0 / 3.0 * M_PI * kRadius * kRadius * kRadius;
        for (int i = 0; i < spheres; ++i) {
            double x, y, z;
            TowerPosition(i, x, y, z);
            btRigidBody* body = AddBody(&sphere_, mass, btVector3(x, y, z));
            body->setActivationState(DISABLE_DEACTIVATION);
            bodies_.push_back(body);
        }
    }
    ~Towers() {
        for (auto& body : owned_) {
            world_.removeRigidBody(body.get());
        }
    }

    void Step(double step) { world_.stepSimulation(step, 0, step); }

    double TopHeight() const {
        double top = 0.0;
        for (const btRigidBody* body : bodies_) {
            top = std::max(top, static_cast<double>(body->getCenterOfMassPosition().y()));
        }
        return top;
    }

private:
    btRigidBody* AddBody(btCollisionShape* shape, double mass, const btVector3& position) {
        btVector3 inertia(0, 0, 0);
        if (mass > 0.0) {
            shape->calculateLocalInertia(mass, inertia);
        }
        btTransform transform;
        transform.setIdentity();
        transform.setOrigin(position);
        btRigidBody::btRigidBodyConstructionInfo info(mass, nullptr, shape, inertia);
        info.m_startWorldTransform = transform;
        info.m_friction = kFriction;
        owned_.push_back(std::make_unique<btRigidBody>(info));
        world_.addRigidBody(owned_.back().get());
        return owned_.back().get();
    }

    btDefaultCollisionConfiguration configuration_;
    btCollisionDispatcher dispatcher_;
    btDbvtBroadphase broadphase_;
    btSequentialImpulseConstraintSolver solver_;
    btDiscreteDynamicsWorld world_;
    btSphereShape sphere_;
    btStaticPlaneShape plane_;
    std::vector<std::unique_ptr<btRigidBody>> owned_;
    std::vector<btRigidBody*> bodies_;
};

#endif

} // namespace

int main(int argc, char** argv) {
    const Options options = Parse(argc, argv);
    Towers towers(options.spheres);

    // the count of steps kivaro-sim --seconds takes: 60 ticks a second, each tick stepping
    // until it has covered 1/60 s
    int stepsPerTick = 0;
    for (double covered = 0.0; covered < 1.0 / 60.0; covered += options.step) {
        ++stepsPerTick;
    }
    const long long steps = std::llround(options.seconds * 60.0) * stepsPerTick;
    const auto start = std::chrono::steady_clock::now();
    for (long long i = 0; i < steps; ++i) {
        towers.Step(options.step);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("{\"engine\":\"%s\",\"spheres\":%d,\"steps\":%lld,\"step_seconds\":%.6f,"
                "\"body_steps_per_second\":%.1f,\"top_height\":%.4f}\n",
                Towers::kEngine, options.spheres, steps, seconds,
                seconds > 0.0 ? static_cast<double>(options.spheres) * static_cast<double>(steps) / seconds
                              : 0.0,
                towers.TopHeight());
    return 0;
}
