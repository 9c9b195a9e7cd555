#pragma once
// How the world tells of sharp impacts: at the end of every contact phase it reports each
// member whose acceleration has just passed a peak above FieldItemWorld::kImpactThreshold.
// The world makes no sound itself; the tester installs a listener that plays one, the
// headless simulator one that prints the impact.

class FieldItem;

class ImpactListener {
public:
    virtual ~ImpactListener() = default;
    /// One impact: the member, its acceleration at the peak (m/s^2) and the local player the
    /// impact is heard by (null when the world has none). Called on the stepping thread, for
    /// the members in name order; the listener must not change the world.
    virtual void OnImpact(const FieldItem& item, double acceleration, const FieldItem* viewer) = 0;
};
