#!/usr/bin/env python3
"""Writes the sample recording: an invented flight in the program's data format.

Usage: make_sample.py OUTPUT_DIR

OUTPUT_DIR receives data/*.dat (nine channel files and the Shift-JIS transcript
data/cvrText.dat, 3418 rows for the clock seconds 1440..4857) and sound/<timecode>.ogg, one
short spoken Ogg Vorbis clip per clip time code. The output depends only on this script.
"""
import concurrent.futures
import math
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "python"))
from ostavin_recording import (CLIP_TIME_CODES, FIRST_ROW_SECOND, ROWS,  # noqa: E402
                               clock_text, row_of_time_code)

# Caption (backslash = line break) and the short kana line spoken in its clip. Several
# captions hold characters whose second Shift-JIS byte is 0x5C (ソ 十 表 能 申 予).
LINES = [
    ("離陸後チェックリスト完了", "ちぇっくりすと"),
    ("上昇を継続します\\高度一万フィート", "じょうしょう"),
    ("了解、右旋回して方位〇三〇", "りょうかい"),
    ("速度十分です", "そくど"),
    ("計器の表示を確認して", "かくにん"),
    ("自動操縦を解除します", "かいじょ"),
    ("ソース切り替え\\異常なし", "いじょうなし"),
    ("機能は正常です", "せいじょう"),
    ("管制へ高度を申告", "かんせい"),
    ("予定どおり巡航高度へ", "じゅんこう"),
    ("左旋回、方位三二〇", "ひだり"),
    ("揺れが少しあります\\ベルト着用のまま", "ゆれ"),
    ("燃料の残量は十分", "ねんりょう"),
    ("次のウェイポイントまで\\あと四十マイル", "あと"),
    ("ピッチを少し下げて", "ぴっち"),
    ("高度を維持", "いじ"),
    ("対地速度の表示が変です", "へんです"),
    ("エンジン計器\\すべて正常\\異常なし", "えんじん"),
    ("降下を開始します", "こうか"),
    ("速度を落として", "げんそく"),
    ("進入の予定を確認", "しんにゅう"),
    ("ギアダウン", "ぎあだうん"),
    ("フラップ一", "ふらっぷ"),
    ("滑走路視認", "しにん"),
]

# Rows with a caption but no clip: radio calls heard only as text.
TEXT_ONLY_ROWS = [95, 400, 845, 1210, 1600, 2075, 2580, 3105, 3390]


def smoothstep(x):
    x = min(1.0, max(0.0, x))
    return x * x * (3 - 2 * x)


def ramp(t, start, length):
    return smoothstep((t - start) / length)


# Turns: (start row, rows at full bank, bank in degrees; right is positive).
TURNS = [(150, 40, 22), (520, 60, -20), (900, 35, 25), (1400, 70, -24), (1760, 45, 18),
         (2150, 30, -15), (2450, 80, 25), (2900, 55, -22), (3200, 40, 20)]
ROLL_IN = 15


def bank_at(t):
    bank = 0.0
    for start, hold, degrees in TURNS:
        bank += degrees * (ramp(t, start, ROLL_IN) - ramp(t, start + ROLL_IN + hold, ROLL_IN))
    return bank + 0.6 * math.sin(t / 23.0)


def speed_at(t):
    return (250 + 70 * ramp(t, 60, 500) + 30 * ramp(t, 900, 300)
            - 70 * ramp(t, 2500, 600) - 30 * ramp(t, 3150, 200))


def altitude_at(t):
    climb = 4000 + 20000 * (1 - math.cos(math.pi * min(1.0, t / 950.0))) / 2
    descent = 11000 * ramp(t, 2600, 800)
    phugoid = 350 * math.sin(2 * math.pi * t / 96.0) * (ramp(t, 950, 120) - ramp(t, 2450, 150))
    return climb - descent + phugoid + 40 * math.sin(t / 17.0)


def flight():
    """Row by row: seconds, bank, pitch, heading, altitude, speed, lat, lon, aileron, elevator."""
    rows = []
    heading, lat, lon = 340.0, 33.4, 134.6
    for t in range(ROWS):
        bank, speed, alt = bank_at(t), speed_at(t), altitude_at(t)
        climb_fps = (altitude_at(t + 0.5) - altitude_at(t - 0.5))
        pitch = math.degrees(math.atan2(climb_fps, speed * 1.68781)) + 2.0 + (300 - speed) / 60
        bank_rate = bank_at(t + 0.5) - bank_at(t - 0.5)
        pitch_rate = (math.degrees(math.atan2(altitude_at(t + 1.5) - altitude_at(t + 0.5),
                                              speed * 1.68781))
                      - math.degrees(math.atan2(altitude_at(t - 0.5) - altitude_at(t - 1.5),
                                                speed * 1.68781))) / 2
        aileron = max(-16383.0, min(16383.0, 2500 * bank_rate + 45 * bank))
        elevator = max(-16383.0, min(16383.0, -6000 * pitch_rate - 250 * (pitch - 2.0)))
        rows.append((FIRST_ROW_SECOND + t, bank, pitch, heading % 360.0, alt, speed, lat, lon,
                     aileron, elevator))
        # One second of flight: coordinated turn rate, then the track over the ground.
        heading += 1091.0 * math.tan(math.radians(bank)) / speed
        miles = speed / 3600.0
        lat += miles * math.cos(math.radians(heading)) / 60.0
        lon += miles * math.sin(math.radians(heading)) / (60.0 * math.cos(math.radians(lat)))
    return rows


def check_north_crossings(rows):
    right = left = False
    for a, b in zip(rows, rows[1:]):
        if a[3] > 300 and b[3] < 60:
            right = True
        if a[3] < 60 and b[3] > 300:
            left = True
    assert right and left, "the flight must cross north in both directions"


def write_lines(path, lines, encoding="ascii"):
    with open(path, "wb") as out:
        for line in lines:
            out.write(line.encode(encoding) + b"\r\n")


def write_channels(data, rows):
    files = {
        "vrn505Roll.dat": lambda r: "%.4f" % r[1],
        "vrn505Pitch.dat": lambda r: "%.4f" % r[2],
        "vrn505Heading.dat": lambda r: "%.4f" % r[3],
        "vrn505Alt.dat": lambda r: "%.2f" % r[4],
        "vrn505Tas.dat": lambda r: "%.2f" % r[5],
        "vrn505LatLon.dat": lambda r: "%.7f %.7f" % (r[6], r[7]),
        "vrn505Alieron.dat": lambda r: "%.1f" % r[8],
        "vrn505Elevator.dat": lambda r: "%.1f" % r[9],
    }
    for name, field in files.items():
        write_lines(os.path.join(data, name), ["%d %s" % (r[0], field(r)) for r in rows])


def captions():
    """Row -> (text, display seconds), and time code -> spoken line."""
    shown, spoken = {}, {}
    for i, code in enumerate(CLIP_TIME_CODES):
        text, kana = LINES[i % len(LINES)]
        shown[row_of_time_code(code)] = (text, 3 + (i * 7) % 11)
        spoken[code] = kana
    for i, row in enumerate(TEXT_ONLY_ROWS):
        shown[row] = ("管制より\\方位と高度を維持", 4 + i)
    return shown, spoken


def write_transcript(data, shown):
    lines = []
    for row in range(ROWS):
        if row in shown:
            text, seconds = shown[row]
            line = "%s\tCAM\t%s\t%d" % (clock_text(FIRST_ROW_SECOND + row), text, seconds)
        else:
            line = "%s\t0\t0" % clock_text(FIRST_ROW_SECOND + row)
        assert len(line.encode("cp932")) + 1 <= 127, line
        lines.append(line)
    write_lines(os.path.join(data, "cvrText.dat"), lines, "cp932")


def make_clip(sound, code, kana, work):
    wav = os.path.join(work, "%d.wav" % code)
    subprocess.run(["espeak-ng", "-v", "ja", "-s", "150", "-w", wav, kana], check=True)
    subprocess.run(["oggenc", "-Q", "-s", str(code), "-o",
                    os.path.join(sound, "%d.ogg" % code), wav], check=True)


def write_clips(sound, spoken):
    with tempfile.TemporaryDirectory() as work, \
            concurrent.futures.ThreadPoolExecutor(max_workers=4) as pool:
        jobs = [pool.submit(make_clip, sound, code, kana, work) for code, kana in spoken.items()]
        for job in jobs:
            job.result()


def main():
    out = sys.argv[1]
    data, sound = os.path.join(out, "data"), os.path.join(out, "sound")
    os.makedirs(data, exist_ok=True)
    os.makedirs(sound, exist_ok=True)
    rows = flight()
    check_north_crossings(rows)
    write_channels(data, rows)
    shown, spoken = captions()
    write_transcript(data, shown)
    write_clips(sound, spoken)


if __name__ == "__main__":
    main()
