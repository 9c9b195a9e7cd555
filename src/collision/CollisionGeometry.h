#pragma once
// Closest-point routines shared by the box, disk, torus and ray detectors: points on
// circles and segments, pairs of circles, segments and circles, and the tests of a
// point over a disk's face or within a box face's polygon.
//
// Every routine reports through a Contact record (point, distance, normal) and leaves
// the other fields alone. Routines that relate two features write the point on the
// first feature and the unit normal pointing from the second feature towards the first,
// so the point on the second feature is point - distance * normal. A zero distance
// gives a zero normal. Internally the routines work in double precision.

#include "collision/Contact.h"
#include "physics/Vector3.h"

/// A circle in space: its centre, the unit normal of its plane and its radius.
struct Circle {
    Vector3 centre;
    Vector3 normal;
    double radius = 0.0;
};

/// The point of the circle nearest to p. point: the circle point Q; distance: |p - Q|;
/// normal: the unit direction from Q towards p. A point on the circle's axis is nudged
/// by +0.0001 on each of x, y and z before the projection is repeated.
void ClosestPointOnCircle(const Vector3& p, const Vector3& centre, const Vector3& normal, double radius,
                          Contact& result);

/// The nearest pair of points of two circles: point on a, normal from b towards a.
/// Finds the global minimum for circles in general position (any pair of an equal-
/// distance family, such as two coaxial circles, is a valid answer).
void ClosestPointsOfCircles(const Circle& a, const Circle& b, Contact& result);

/// The point of the segment a-b nearest to p: point on the segment, normal from the point
/// towards p, distance |p - point|. Without clamping a foot outside the segment gives no
/// result (false, nothing written); with clamping the nearer end point is taken.
bool ClosestPointOnSegment(const Vector3& p, const Vector3& a, const Vector3& b, bool clamp, Contact& result);

/// The nearest pair of a segment (start to end) and a circle: point on the segment, normal
/// from the circle towards the segment. A result exists only when the segment's closest
/// point lies within the segment (not at a clamped end, where an end point test applies)
/// and its distance is below maximumDistance; a caller that only wants near pairs saves the
/// narrowing of far ones by passing its limit.
bool ClosestPointsOfSegmentAndCircle(const Vector3& start, const Vector3& end, const Circle& circle,
                                     Contact& result, double maximumDistance = 1000.0);

/// The nearest pair of segment 1 (start1 + u * direction1, 0 <= u <= 1) and segment 2:
/// point on segment 1, normal from segment 2 towards segment 1. With clamping the pair is
/// kept within both segments. Without clamping only a pair whose line parameters both lie
/// within [0, 1] is a result; parallel segments then answer the middle of the stretch
/// where they overlap, or nothing when they do not overlap.
bool ClosestPointsOfSegments(const Vector3& start1, const Vector3& direction1, const Vector3& start2,
                             const Vector3& direction2, bool clamp, Contact& result);

/// Whether p lies over a round face (within the radius of the face's axis through its
/// centre). If so: distance = height of p above the face plane along the unit normal,
/// normal = -unitNormal, point = p.
bool PointOverFace(const Vector3& p, const Vector3& faceCentre, const Vector3& unitNormal, double radius,
                   Contact& result);

/// Whether p projected onto the plane of the quadrilateral face v0 v1 v2 v3 (convex, in
/// loop order) lies within it, tested on the triangles v0 v1 v2 and v0 v2 v3. Writes in
/// any case: distance = signed height of p above the plane along the outward unit normal,
/// normal = outwardNormal, point = p.
bool PointInFacePolygon(const Vector3& p, const Vector3& v0, const Vector3& v1, const Vector3& v2,
                        const Vector3& v3, const Vector3& outwardNormal, Contact& result);

/// The point of a circle (centre, unit axis, radius) lowest along planeNormal, i.e.
/// deepest towards a plane whose outward normal that is. When the circle lies parallel
/// to the plane every point is equally deep and the centre is answered.
Vector3 CirclePointDeepestTowards(const Vector3& centre, const Vector3& unitAxis, double radius,
                                  const Vector3& planeNormal);
