"""The recording's clock and clips, as the program has them (src/recording, src/voice): shared
by the sample generator, the demo report and the package test."""

FIRST_ROW_SECOND = 1440  # clock second of row 0 (24:00)
ROWS = 3418

CLIP_TIME_CODES = [
    2412, 2430, 2514, 2521, 2539, 2554, 2629, 2700, 2737, 2815, 2829, 2856, 2936, 3028, 3100,
    3148, 3335, 3459, 3534, 3704, 3817, 3828, 3912, 4020, 4043, 4155, 4230, 4247, 4322, 4346,
    4404, 4421, 4442, 4517, 4536, 4601, 4609, 4633, 4647, 4735, 4750, 4757, 4812, 4830, 4850,
    4938, 5004, 5025, 5050, 5122, 5141, 5331, 5358, 5430, 5500, 5538, 5600]


def time_code_seconds(time_code):
    """5626 (minutes x 100 + seconds) gives 3386."""
    return time_code // 100 * 60 + time_code % 100


def row_of_time_code(time_code):
    return time_code_seconds(time_code) - FIRST_ROW_SECOND


def clock_text(seconds):
    """Clock seconds as the title shows them: 3386 gives "56:26"."""
    return "%02d:%02d" % (int(seconds) // 60, int(seconds) % 60)
