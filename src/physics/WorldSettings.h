#pragma once
// The settings one tick of the world runs with. The front end hands them to the world
// before each tick (FieldItemWorld::SetSettings); the world and its items read only this
// snapshot while the tick's steps run, never the process-wide configuration, so the user
// interface may change the configuration at any time. The defaults are the built-in
// values of the simulation.

struct WorldSettings {
    /// Simulation time step, s.
    double timeStep = 0.0015;
    /// Gravity in multiples of G.
    double gravity = 1.0;
    double restitution = 0.6;
    double staticFriction = 0.9;
    double friction = 0.4;
    /// Divisor of the contact drag.
    double dragDivisor = 300.0;
    /// Surfaces closer than this touch, m: every detector, the pair filter and the contact forces.
    double contactTolerance = 0.03;
    /// Contact force at zero separation, N.
    double contactStiffness = 2000.0;
    double gravitationalConstant = 6.67e-11;
    double earthMass = 6e24;
    double earthRadius = 6.4e6;
    /// Items at least this heavy attract the others, kg.
    double heavyMass = 1000.0;
    /// Force of mouse drags, N (the local player's mouse control).
    double mouseForce = 10.0;
    /// Scale of the view's zoom step (the local player's mouse control).
    double zoomFactor = 1.0;
};

/// The built-in settings.
inline constexpr WorldSettings kBuiltInSettings{};
