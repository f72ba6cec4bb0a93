// The one mark for a value that cannot be formed (a silent channel, no decay to fit, no
// interaural correlation, a preference outside its model). It is -1000, never NaN or infinity,
// because the store's numeric fields keep it as it is and no measurement can take it.
#pragma once

namespace vesk {

constexpr double kNoValue = -1000.0;

}  // namespace vesk
