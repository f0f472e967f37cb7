// The time codes at which the voice clips begin. A file of its own, so that the data checker,
// which checks the clips by these names, links the table without the voice thread.
#include "voice/voice.h"

const TimeCode clipTimeCodes[ClipCount] = {
    2412, 2430, 2514, 2521, 2539, 2554, 2629, 2700, 2737, 2815, 2829, 2856, 2936, 3028, 3100,
    3148, 3335, 3459, 3534, 3704, 3817, 3828, 3912, 4020, 4043, 4155, 4230, 4247, 4322, 4346,
    4404, 4421, 4442, 4517, 4536, 4601, 4609, 4633, 4647, 4735, 4750, 4757, 4812, 4830, 4850,
    4938, 5004, 5025, 5050, 5122, 5141, 5331, 5358, 5430, 5500, 5538, 5600};
