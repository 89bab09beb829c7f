#include "numerics/InlineDerVal.h"

#include <cmath>

namespace InlineDerValDetail {

double libraryPow(double base, double exponent)
{
    return std::pow(base, exponent);
}

}  // namespace InlineDerValDetail
