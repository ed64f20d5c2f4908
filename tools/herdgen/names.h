#pragma once
// Herd numbers, owners and addresses of synthetic farms (invented words, no real places).
#include "tools/herdgen/herdgen_lib.h"

namespace ovista::herdgen {

// Sets herdNumber (unique within a batch of up to 9999 herds), owner and address; both of
// the latter hold a comma, as many farm records do.
void NameHerd(SimulatedHerd& herd);

}  // namespace ovista::herdgen
