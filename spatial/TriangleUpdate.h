#pragma once
// The first-order triangle update of a vertex C split in two: the terms that depend on the
// triangle alone, and the solve with the two known distances. FastMarching::updateFromTriangle is
// the two run back to back; a MarchGeometry keeps the terms of every corner so that a march only
// runs the second half. Both halves are inline here so that every caller performs the same
// operations in the same order.
#include <cmath>

namespace FastMarching {

// a = |C to the vertex of larger distance|, b = |C to the other one|, and what follows from them
// and the squared length of the third edge.
struct TriangleTerms {
    double a;
    double b;
    double aCosine;        // a * cos(angle at C)
    double aOverCosine;    // a / cos(angle at C)
    double qa;             // leading coefficient of the quadratic
    double aaSineSquared;  // a^2 * sin^2(angle at C)
};

inline TriangleTerms triangleTerms(double a, double b, double c2)
{
    const double cosine = (a * a + b * b - c2) / (2.0 * std::sqrt(a * a * b * b));
    const double sine = std::sqrt(1.0 - cosine * cosine);
    TriangleTerms terms;
    terms.a = a;
    terms.b = b;
    terms.aCosine = a * cosine;
    terms.aOverCosine = a / cosine;
    terms.qa = (a * a + b * b) - 2.0 * a * b * cosine;
    terms.aaSineSquared = a * a * sine * sine;
    return terms;
}

inline bool solveQuadratic(double qa, double qb, double qc, double& root1, double& root2)
{
    if (qa == 0.0)
        return false;
    const double discriminant = qb * qb - qc * (qa * 4.0);
    if (discriminant < 0.0)
        return false;
    root1 = (std::sqrt(discriminant) - qb) / (2.0 * qa);
    root2 = (-qb - std::sqrt(discriminant)) / (2.0 * qa);
    return true;
}

// solveQuadratic for the larger root only: root2 is left at root1 when qa > 0, where it cannot
// exceed root1 (the numerators keep their order through rounding, and a division by a positive
// number keeps it too, and a NaN root1 stays whatever root2 is); otherwise both as solveQuadratic.
inline bool largerRoot(double qa, double qb, double qc, double& root1, double& root2)
{
    if (!(qa > 0.0))
        return solveQuadratic(qa, qb, qc, root1, root2);
    const double discriminant = qb * qb - qc * (qa * 4.0);
    if (discriminant < 0.0)
        return false;
    root1 = (std::sqrt(discriminant) - qb) / (2.0 * qa);
    root2 = root1;
    return true;
}

inline double updateFromTerms(const TriangleTerms& terms, double dSmall, double dLarge, double dC)
{
    const double a = terms.a;
    const double b = terms.b;
    const double u = dLarge - dSmall;
    const double qb = 2.0 * b * u * (terms.aCosine - b);
    const double qc = b * b * (u * u - terms.aaSineSquared);
    double root1 = 0.0, root2 = 0.0;
    if (largerRoot(terms.qa, qb, qc, root1, root2)) {
        const double t = root2 > root1 ? root2 : root1;
        const double reach = b * (t - u) / t;
        // Causality: the wave must arrive from inside the triangle.
        if (u < t && terms.aCosine < reach && reach < terms.aOverCosine) {
            const double throughFace = dSmall + t;
            return throughFace > dC ? dC : throughFace;
        }
    }
    const double viaLarge = a + dLarge;
    const double viaSmall = b + dSmall;
    const double viaEdge = viaLarge > viaSmall ? viaSmall : viaLarge;
    return viaEdge > dC ? dC : viaEdge;
}

// Whether updateFromTerms(terms, dSmall, dLarge, dC) is sure to give back dC, told without solving:
// the update across the face is dSmall + t for some t > u = dLarge - dSmall, so never below
// dSmall + u as rounded (rounding keeps order), and the one along the edges is a + dLarge or
// b + dSmall; when none of these lies below dC, the update is dC (no sum of distances and lengths
// is a negative zero, so an equal value is the same bits). False whenever any of them is not a
// number, where nothing is sure.
inline bool updateKeeps(double a, double b, double dSmall, double dLarge, double dC)
{
    return (dSmall + (dLarge - dSmall) >= dC) & (a + dLarge >= dC) & (b + dSmall >= dC);
}

// The update from the triangle of sides a, b and squared third side c2 (as triangleTerms takes
// them), or dC straight away where updateKeeps tells that it would come back.
inline double solveUnlessKept(double a, double b, double c2, double dSmall, double dLarge, double dC)
{
    return updateKeeps(a, b, dSmall, dLarge, dC) ? dC : updateFromTerms(triangleTerms(a, b, c2), dSmall, dLarge, dC);
}

}  // namespace FastMarching
